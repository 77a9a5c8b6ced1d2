#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// What a package says it will take once unpacked. Claims of an untrusted file: good for
// refusing early, never a promise that less will be written.
class ArchiveSize {
public:
    // The uncompressed sizes of a ZIP archive's entries added up, as far as its central
    // directory can be read; nothing when it cannot be read at all.
    [[nodiscard]] static std::optional<qint64> zipUncompressedTotal(const QString& path);
    // A disk image's volume size, from the sector count of its UDIF trailer; nothing without
    // a trailer.
    [[nodiscard]] static std::optional<qint64> diskImageVolumeSize(const QString& path);
};
