#pragma once

#include "VolumeSource.h"

#include <QString>

// Writes a UDIF disk image (.dmg) holding one volume: the volume's sectors in chunks, each
// stored raw or zlib-compressed, followed by the XML property list with the "blkx" table
// (one "mish" block with CRC-32 of the volume) and the "koly" trailer.
class UdifWriter {
public:
    enum class Compression { Raw, Zlib };
    struct Options {
        Compression compression = Compression::Zlib;
        // Partition name as disk-image tools show it; the type in brackets tells the file system.
        QString partitionName = QStringLiteral("disk image (Apple_HFSX : 0)");
        int zlibLevel = 6;
        qint64 chunkSectors = 2048;
    };

    [[nodiscard]] static bool write(VolumeSource& volume, const QString& outputPath,
                                    const Options& options, QString* error);
};
