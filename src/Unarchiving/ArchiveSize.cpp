#include "Unarchiving/ArchiveSize.h"

#include "Platform/FileDescriptor.h"
#include "Unarchiving/ZipFileReader.h"

#include <QtEndian>
#include <limits>
#include <minizip/unzip.h>

namespace {

constexpr qint64 kMost = std::numeric_limits<qint64>::max();
constexpr qint64 kTrailerSize = 512;
constexpr qint64 kSectorCountOffset = 492;
constexpr qint64 kSectorSize = 512;

qint64 saturatingSum(qint64 a, quint64 b) {
    return b > quint64(kMost - a) ? kMost : a + qint64(b);
}

} // namespace

std::optional<qint64> ArchiveSize::zipUncompressedTotal(const QString& path) {
    const unzFile archive = ZipFileReader::open(path);
    if (!archive)
        return std::nullopt;
    std::optional<qint64> total;
    for (int step = unzGoToFirstFile(archive); step == UNZ_OK; step = unzGoToNextFile(archive)) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        total = saturatingSum(total.value_or(0), info.uncompressed_size);
    }
    unzClose(archive);
    return total;
}

std::optional<qint64> ArchiveSize::diskImageVolumeSize(const QString& path) {
    const Platform::FileDescriptor file = Platform::FileDescriptor::openForReading(path);
    const qint64 size = file.size();
    char trailer[kTrailerSize];
    if (size < kTrailerSize ||
        file.readAt(size - kTrailerSize, trailer, kTrailerSize) != kTrailerSize ||
        qFromBigEndian<quint32>(trailer) != 0x6B6F6C79) // "koly"
        return std::nullopt;
    const quint64 sectors = qFromBigEndian<quint64>(trailer + kSectorCountOffset);
    return sectors > quint64(kMost / kSectorSize) ? kMost : qint64(sectors) * kSectorSize;
}
