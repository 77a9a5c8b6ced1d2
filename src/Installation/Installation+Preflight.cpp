#include "Installation/Installation.h"

#include "Extensions/StringExtension.h"
#include "Installation/InstallationTable.h"
#include "Platform/DiskSpace.h"
#include "Platform/Log.h"
#include "Unarchiving/ArchiveSize.h"

#include <QFileInfo>
#include <QLocale>
#include <limits>

using namespace InstallationTable;

namespace {

// Room asked for beyond what is declared: a tenth more, and 16 MiB for the file system's own
// needs, folders and whatever else is written meanwhile.
constexpr qint64 kMarginBytes = 16 * 1024 * 1024;

qint64 withMargin(qint64 bytes) {
    constexpr qint64 most = std::numeric_limits<qint64>::max();
    return bytes > (most - kMarginBytes) / 11 * 10 ? most : bytes + bytes / 10 + kMarginBytes;
}

QString readableSize(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

bool Installation::hasRoom(const QString& stage, const QString& folder,
                           std::optional<qint64> bytes) {
    if (!bytes || *bytes <= 0)
        return true;
    const qint64 needed = withMargin(*bytes);
    const std::optional<qint64> available = Platform::DiskSpace::availableBytes(folder);
    if (!available || *available >= needed)
        return true;
    sendEvent(preflightFail, stage);
    Platform::Log::write(
        QStringLiteral("Not enough room in %1 to %2: %3 bytes needed, %4 free")
            .arg(folder, stage, QString::number(needed), QString::number(*available)));
    showInstallErrorDialog(
        formatted(localized(QStringLiteral("There is not enough free space in %@: %@ are needed, "
                                           "%@ are free.")),
                  {folder, readableSize(needed), readableSize(*available)}));
    return false;
}

// The unpack folder is made beside the package; a disk image's volume is unpacked first into
// the Volumes folder inside the same download folder.
bool Installation::hasRoomToUnpack(const QString& packagePath, const QString& source) {
    const PackageKind kind = packageKind(packagePath);
    const std::optional<qint64> declared =
        kind == PackageKind::Zip         ? ArchiveSize::zipUncompressedTotal(source)
        : kind == PackageKind::DiskImage ? ArchiveSize::diskImageVolumeSize(source)
                                         : std::nullopt;
    return hasRoom(preflightUnarchive, QFileInfo(packagePath).path(), declared);
}
