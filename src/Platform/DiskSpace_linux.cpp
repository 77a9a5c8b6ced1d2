#include "Platform/DiskSpace.h"

#include <QFile>
#include <filesystem>
#include <limits>
#include <sys/statvfs.h>

namespace Platform {

namespace {

qint64 saturatingProduct(unsigned long long a, unsigned long long b) {
    constexpr auto most = static_cast<unsigned long long>(std::numeric_limits<qint64>::max());
    return b != 0 && a > most / b ? std::numeric_limits<qint64>::max() : qint64(a * b);
}

} // namespace

std::optional<qint64> DiskSpace::availableBytes(const QString& path) {
    struct statvfs info {};
    // A file system without a size (procfs, some FUSE mounts) cannot be judged by its room.
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0 || info.f_blocks == 0)
        return std::nullopt;
    return saturatingProduct(info.f_bavail, info.f_frsize);
}

std::optional<qint64> DiskSpace::sizeOfItem(const QString& path) {
    namespace fs = std::filesystem;
    const fs::path root(QFile::encodeName(path).toStdString());
    std::error_code error;
    const fs::file_status status = fs::symlink_status(root, error);
    if (error)
        return std::nullopt;
    const auto sizeOf = [&error](const fs::path& item, const fs::file_status& itemStatus) {
        return fs::is_regular_file(itemStatus) ? qint64(fs::file_size(item, error)) : qint64(0);
    };
    qint64 total = sizeOf(root, status);
    if (!fs::is_directory(status))
        return error ? std::nullopt : std::optional<qint64>(total);
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        const fs::file_status itemStatus = it->symlink_status(error);
        if (!error)
            total += sizeOf(it->path(), itemStatus);
    }
    return error ? std::nullopt : std::optional<qint64>(total);
}

} // namespace Platform
