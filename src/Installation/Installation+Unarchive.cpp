#include "Installation/Installation.h"

#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Installation/InstallationTable.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"

#include <QFileInfo>
#include <optional>

using namespace InstallationTable;

namespace {

// A readable text of a listing: ("a", "b").
QString debugDescription(const QStringList& listing) {
    QStringList quoted;
    for (const QString& entry : listing)
        quoted << QLatin1Char('"') + entry + QLatin1Char('"');
    return QStringLiteral("(%1)").arg(quoted.join(QStringLiteral(", ")));
}

bool isBundleName(const QString& entry) {
    return pathExtension(entry).toLower() == QStringLiteral("app");
}

} // namespace

void Installation::unarchive(const QUrl& packageURL, const QUrl& verifiedURL) {
    m_state = State::Unarchiving;
    markStageStart();
    setStageLabel(QStringLiteral("Installing"));
    reportDetail({InstallationProgress::Stage::Unpacking});

    const QString packagePath = packageURL.toLocalFile();
    const QUrl source = verifiedURL.isEmpty() ? packageURL : verifiedURL;
    if (!hasRoomToUnpack(packagePath, source.toLocalFile()))
        return;
    const QString baseName = stringByDeletingPathExtension(lastPathComponent(packagePath));
    const QUrl unpackURL =
        createUniqueDirectory(baseName, QUrl::fromLocalFile(QFileInfo(packagePath).path()));
    const QString unpackPath = unpackURL.isEmpty() ? QString() : unpackURL.toLocalFile();
    if (unpackPath.isEmpty() || !QFileInfo(unpackPath).isDir()) {
        failStage(
            installFail, unpackFolderMissing, unpackPath,
            writeFailureMessage(QFileInfo(packagePath).path(), QFileInfo(packagePath).size()));
        return;
    }

    switch (packageKind(packagePath)) {
    case PackageKind::Zip:
        unarchiveZip(source, unpackURL);
        return;
    case PackageKind::DiskImage:
        unarchiveDiskImage(source, unpackURL);
        return;
    case PackageKind::Unsupported:
        break;
    }
    showInstallErrorDialog(localized(damagedMessage));
    sendEvent(installFail, unsupportedPackage, pathExtension(packagePath));
    Platform::Log::write(unsupportedPackage);
}

Installation::PackageKind Installation::packageKind(const QString& fileName) {
    const QString extension = pathExtension(fileName).toLower();
    return extension == QLatin1String("zip")   ? PackageKind::Zip
           : extension == QLatin1String("dmg") ? PackageKind::DiskImage
                                               : PackageKind::Unsupported;
}

// False when the extraction failed (reported here) or was stopped (its folder removed).
bool Installation::extract(const Extractor& extractor, const QUrl& packageURL,
                           const QUrl& unpackURL) {
    const std::stop_token stop = stopToken();
    const bool unpacked = extractor(
        packageURL, unpackURL, [this](double value, double) { reportProgress(90 + value * 0.1); },
        stop);
    if (stop.stop_requested()) {
        (void)m_parts.files.removeItemAtPath(unpackURL.toLocalFile(), nullptr);
        return false;
    }
    if (!unpacked)
        failStage(installFail, extractionFailed, QString(),
                  writeFailureMessage(unpackURL.toLocalFile(),
                                      QFileInfo(packageURL.toLocalFile()).size(),
                                      localized(damagedMessage)));
    return unpacked;
}

void Installation::unarchiveZip(const QUrl& packageURL, const QUrl& unpackURL) {
    if (!extract(m_parts.unzip, packageURL, unpackURL))
        return;
    // The application is the first top-level bundle; an archive without one hands over its
    // first entry, as archives of old did.
    const QStringList listing =
        m_parts.files.listDirectory(unpackURL.toLocalFile(), nullptr).value_or(QStringList());
    if (listing.isEmpty()) {
        failStage(installFail, bundleMissing, QString(), localized(damagedMessage));
        return;
    }
    const QString folder = unpackURL.toLocalFile() + QLatin1Char('/');
    const auto bundle = std::find_if(listing.cbegin(), listing.cend(), [&](const QString& name) {
        return isBundleName(name) && QFileInfo(folder + name).isDir();
    });
    const QString entry = bundle != listing.cend() ? *bundle : listing.first();
    sendEvent(unarchiveTimeInterval, stageDuration());
    install(QUrl::fromLocalFile(folder + entry));
}

void Installation::unarchiveDiskImage(const QUrl& packageURL, const QUrl& unpackURL) {
    if (!extract(m_parts.unarchiveDiskImage, packageURL, unpackURL))
        return;
    const std::optional<QStringList> listing =
        m_parts.files.listDirectory(unpackURL.toLocalFile(), nullptr);
    const QStringList entries = listing.value_or(QStringList());
    const auto bundle = std::find_if(entries.cbegin(), entries.cend(), isBundleName);
    if (bundle == entries.cend()) {
        showInstallErrorDialog(localized(damagedMessage));
        sendEvent(installFail, bundleMissing, listing ? debugDescription(*listing) : QString());
        Platform::Log::write(bundleMissing);
        return;
    }
    sendEvent(unarchiveTimeInterval, stageDuration());
    install(QUrl::fromLocalFile(unpackURL.toLocalFile() + QLatin1Char('/') + *bundle));
}
