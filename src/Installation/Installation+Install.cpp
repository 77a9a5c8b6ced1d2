#include "Installation/Installation.h"

#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Installation/BundlePlacement.h"
#include "Installation/InstallationTable.h"
#include "Platform/Bundle.h"
#include "Platform/DiskSpace.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "TQDownloader.h"

using namespace InstallationTable;

void Installation::install(const QUrl& bundleURL) {
    m_state = State::Installing;
    markStageStart();
    reportDetail({InstallationProgress::Stage::Installing});
    const QString bundlePath = bundleURL.toLocalFile();
    if (!m_parts.files.itemExistsAtPath(bundlePath)) {
        failStage(installFail, bundleMissing, bundlePath, localized(damagedMessage));
        return;
    }
    const QUrl directory = installDirectoryURL();
    if (directory.isEmpty()) {
        failStage(installFail, applicationsFolderMissing, QString(),
                  writeFailureMessage(Platform::SearchPaths::shared().applicationDirectory(
                                          Platform::ApplicationsFolder::User),
                                      0));
        return;
    }
    const QString folder = directory.toLocalFile();
    const QString name = lastPathComponent(bundlePath);
    QString destination = folder + QLatin1Char('/') + name;
    if (m_parts.files.itemExistsAtPath(destination)) {
        const QUrl unique = generateUniqueURL(name, directory);
        destination = unique.isEmpty() ? QString() : unique.toLocalFile();
    }

    // The unpacked bundle is not needed afterwards: on the same file system it is renamed into
    // place, which is complete at once and copies nothing.
    const bool own = m_parts.files.isWritableFileAtPath(folder);
    if (own && !destination.isEmpty()) {
        BundlePlacement(m_parts.files).removeStaleCopies(folder, name);
        if (m_parts.files.moveItemAtPath(bundlePath, destination)) {
            installed(destination);
            return;
        }
    }
    if (!hasRoom(preflightInstall, folder, Platform::DiskSpace::sizeOfItem(bundlePath)))
        return;
    const bool copied =
        !destination.isEmpty() &&
        (own ? copy(bundlePath, destination) : copyWithAuthority(bundlePath, destination));
    if (stopToken().stop_requested())
        return;
    if (!copied) {
        selectDirectoryAfterFailedCopy(bundleURL, destination);
        return;
    }
    installed(destination);
}

void Installation::installed(const QString& destination) {
    sendEvent(installSuccess);
    sendEvent(installTimeInterval, stageDuration());
    addDesktopEntry(destination);
    launch(QUrl::fromLocalFile(destination));
}

// The repeated install runs on the downloader's queue like the first, so the window stays
// responsive and a stop waits for it.
void Installation::selectDirectoryAfterFailedCopy(const QUrl& bundleURL,
                                                  const QString& destination) {
    m_state = State::AwaitingAnswer;
    selectInstallDirectory([this, bundleURL, destination, stop = stopToken()](const QUrl& chosen) {
        if (stop.stop_requested())
            return;
        sendEvent(InstallationTable::selectInstallDirectory,
                  chosen.isEmpty() ? QString() : chosen.toLocalFile());
        if (!chosen.isEmpty()) {
            setInstallDirectoryURL(chosen);
            m_parts.downloader.addOperation([this, bundleURL] { install(bundleURL); });
            return;
        }
        sendEvent(installFail, copyFailed, destination);
        endInstall(false);
    });
}

bool Installation::copy(const QString& source, const QString& destination) {
    QString description;
    if (BundlePlacement(m_parts.files).copy(source, destination, &description, stopToken()))
        return true;
    if (stopToken().stop_requested())
        return false;
    Platform::Log::write(description);
    sendEvent(installFail, description);
    return false;
}

bool Installation::copyWithAuthority(const QString& source, const QString& destination) {
    const int status = m_parts.runPrivileged(privilegedInstallTool(), {source, destination});
    // Only the tool's own success counts.
    return status == 0 && m_parts.files.itemExistsAtPath(destination);
}

QString Installation::privilegedInstallTool() {
    return Platform::Bundle::main().bundlePath() + QStringLiteral("/Contents/Linux/installbundle");
}

void Installation::selectInstallDirectory(std::function<void(const QUrl&)> callback) {
    showInView([callback = std::move(callback)](InstallationView& view) {
        view.selectInstallDirectory([callback](const QUrl& directory) {
            if (callback)
                callback(directory);
        });
    });
}
