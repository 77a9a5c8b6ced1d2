#pragma once

#include "VolumeSource.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

// A minimal HFS+ volume (case-sensitive variant, binary name order) made from a folder on
// disk: volume header, allocation bitmap, an empty extents tree, the catalog B-tree with
// folder, file and link records and their threads, then each file's data in one extent.
// Names are stored decomposed, as the format wants; modes, owners and times are kept.
// File contents are read from disk while the volume is read, so large folders stream.
class HfsPlusVolume : public VolumeSource {
public:
    // Nothing, with *error set, when the folder cannot be read or holds other kinds of items.
    [[nodiscard]] static std::unique_ptr<HfsPlusVolume>
    fromFolder(const QString& folder, const QString& volumeName, QString* error);

    [[nodiscard]] qint64 size() const override;
    [[nodiscard]] bool read(char* buffer, qint64 length) override;
    [[nodiscard]] QString errorString() const override { return m_error; }

    [[nodiscard]] int fileCount() const { return m_fileCount; }
    [[nodiscard]] int folderCount() const { return m_folderCount; }

private:
    HfsPlusVolume() = default;

    // One stretch of the volume: bytes held here, or a file's contents, padded with zeros.
    struct Segment {
        QByteArray bytes;
        QString path;
        qint64 contentLength = 0;
        qint64 length = 0;
    };
    friend class HfsPlusLayout;

    std::vector<Segment> m_segments;
    qint64 m_size = 0;
    int m_fileCount = 0;
    int m_folderCount = 0;

    size_t m_segment = 0;
    qint64 m_offset = 0;
    std::unique_ptr<QFile> m_file;
    QString m_error;
};
