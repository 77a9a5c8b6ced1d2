#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace Platform {

// Room on file systems and room taken by items, for checking before a stage writes.
class DiskSpace {
public:
    // Bytes an ordinary user may still write on the file system that holds the existing
    // folder or file `path`; nothing when that cannot be learnt or the file system has no size.
    [[nodiscard]] static std::optional<qint64> availableBytes(const QString& path);
    // The bytes of the files at and below `path`, links counted as links and never followed;
    // nothing when the item cannot be read.
    [[nodiscard]] static std::optional<qint64> sizeOfItem(const QString& path);
};

} // namespace Platform
