#include "TQWindowController.h"

#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"
#include "Unarchiving/TQZip.h"

#include <QFileInfo>
#include <optional>

namespace {

const QString extractionFailed = QStringLiteral("安装失败：解压程序包失败");
const QString bundleMissing = QStringLiteral("安装失败：解压程序包不存在");

std::optional<QStringList> contentsOfDirectory(const QString& path) {
    return Platform::FileManager::shared().listDirectory(path, nullptr);
}

// A readable text of a listing: ( "a", "b" ).
QString debugDescription(const QStringList& listing) {
    QStringList quoted;
    for (const QString& entry : listing)
        quoted << QLatin1Char('"') + entry + QLatin1Char('"');
    return QStringLiteral("(%1)").arg(quoted.join(QStringLiteral(", ")));
}

} // namespace

void TQWindowController::unarchive(const QUrl& packageURL) {
    markStageStart();
    setStageLabel(localized(QStringLiteral("Installing")));

    const QString packagePath = packageURL.toLocalFile();
    const QString baseName = stringByDeletingPathExtension(lastPathComponent(packagePath));
    const QUrl unpackURL =
        createUniqueDirectory(baseName, QUrl::fromLocalFile(QFileInfo(packagePath).path()));
    const QString unpackPath = unpackURL.isEmpty() ? QString() : unpackURL.toLocalFile();
    if (unpackPath.isEmpty() || !QFileInfo(unpackPath).isDir()) {
        failStage(QStringLiteral("Install_Fail"), QStringLiteral("安装失败：解压目录不存在"),
                  unpackPath);
        return;
    }

    const QString extension = pathExtension(packagePath);
    if (extension.toLower() == QStringLiteral("zip")) {
        unarchiveZip(packageURL, unpackURL);
        return;
    }
    if (extension.toLower() == QStringLiteral("dmg")) {
        unarchiveDiskImage(packageURL, unpackURL);
        return;
    }
    const QString message = QStringLiteral("安装失败：不支持的程序压缩包格式");
    showInstallErrorDialog();
    sendEvent(QStringLiteral("Install_Fail"), message, extension);
    Platform::Log::write(message);
}

void TQWindowController::unarchiveZip(const QUrl& packageURL, const QUrl& unpackURL) {
    const bool unpacked = TQZip::unzipFile(
        packageURL, unpackURL, true,
        [this](double value, double) { updateProgress(90 + value * 0.1); }, nullptr);
    if (!unpacked) {
        failStage(QStringLiteral("Install_Fail"), extractionFailed, QString());
        return;
    }
    // The archive's first top-level entry is taken to be the application.
    const std::optional<QStringList> listing = contentsOfDirectory(unpackURL.toLocalFile());
    if (!listing || listing->isEmpty()) {
        failStage(QStringLiteral("Install_Fail"), bundleMissing, QString());
        return;
    }
    sendEvent(QStringLiteral("Unarchive_TimeInterval"), stageDuration());
    install(QUrl::fromLocalFile(unpackURL.toLocalFile() + QLatin1Char('/') + listing->first()));
}

void TQWindowController::unarchiveDiskImage(const QUrl& packageURL, const QUrl& unpackURL) {
    const bool mounted = TQDMGUnarchiver::unarchiveFile(
        packageURL, unpackURL, [this](double value, double) { updateProgress(90 + value * 0.1); },
        nullptr);
    if (!mounted) {
        failStage(QStringLiteral("Install_Fail"), extractionFailed, QString());
        return;
    }
    const std::optional<QStringList> listing = contentsOfDirectory(unpackURL.toLocalFile());
    const QStringList entries = listing.value_or(QStringList());
    for (const QString& entry : entries) {
        if (pathExtension(entry).toLower() != QStringLiteral("app"))
            continue;
        sendEvent(QStringLiteral("Unarchive_TimeInterval"), stageDuration());
        install(QUrl::fromLocalFile(unpackURL.toLocalFile() + QLatin1Char('/') + entry));
        return;
    }
    showInstallErrorDialog();
    sendEvent(QStringLiteral("Install_Fail"), bundleMissing,
              listing ? debugDescription(*listing) : QString());
    Platform::Log::write(bundleMissing);
}
