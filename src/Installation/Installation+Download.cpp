#include "Installation/Installation.h"

#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Installation/InstallationTable.h"
#include "Installation/VerifiedPackage.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/Workspace.h"
#include "TQDownloader.h"

using namespace InstallationTable;

void Installation::clickInstallButton() {
    if (!m_applicationURL.isEmpty() && isScriboraApplication(m_applicationURL)) {
        launchInstalledApplication();
        return;
    }
    sendEvent(downloadNumber);
    if (installDirectoryURL().isEmpty())
        setInstallDirectoryURL(applicationURL());
    if (!installDirectoryURL().isEmpty()) {
        startInstall();
        return;
    }
    selectInstallDirectory([this](const QUrl& directory) {
        if (directory.isEmpty())
            return;
        setInstallDirectoryURL(directory);
        startInstall();
    });
}

void Installation::startInstall() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = std::stop_source();
    }
    if (m_view) {
        m_view->updateProgress(0);
        m_view->setStageLabel(localized(QStringLiteral("Downloading")));
        m_view->installationStarted();
    }
    m_isInstalling = true;
    download(installPackageURL());
}

void Installation::download(const QUrl& url) {
    m_state = State::Downloading;
    markStageStart();
    reportDetail(InstallationProgress{});
    if (url.isEmpty()) {
        failStage(downloadFail, downloadAddressEmpty, QString());
        return;
    }
    // The callbacks run on the downloader's queue, one after another; the later stages run
    // there too. A body refused for want of room has been reported already.
    auto refused = std::make_shared<bool>(false);
    m_parts.downloader.download(
        url, [this](double value, double) { reportProgress(value * 0.9); },
        [this, stop = stopToken(), refused](const QUrl& location) {
            if (!stop.stop_requested() && !*refused)
                didDownload(location);
        },
        [this](const TQDownloader::TransferStatus& status) { didReceiveStatus(status); },
        [this, refused](qint64 bytes) {
            *refused =
                !hasRoom(preflightDownload, m_parts.downloader.cacheURL().toLocalFile(), bytes);
            return !*refused;
        });
}

void Installation::didReceiveStatus(const TQDownloader::TransferStatus& status) {
    reportDetail({InstallationProgress::Stage::Downloading, status.bytesWritten,
                  status.bytesExpected, status.bytesPerSecond, status.secondsLeft,
                  status.retrying});
}

void Installation::didDownload(const QUrl& location) {
    const QString path = location.isEmpty() ? QString() : location.toLocalFile();
    if (path.isEmpty() || !m_parts.files.itemExistsAtPath(path)) {
        failStage(downloadFail, downloadFailed, path, downloadFailureMessage());
        return;
    }
    const bool signedPackages = !packagePublicKey().isNull();
    const std::unique_ptr<VerifiedPackage> verified =
        signedPackages ? verifyDownload(path) : nullptr;
    if (signedPackages && !verified)
        return;
    sendEvent(downloadSuccess);
    sendEvent(downloadTimeInterval, stageDuration());
    unarchive(location, verified ? verified->url() : QUrl());
}

// A lost connection or a stalled server keeps the dialog's first message.
QString Installation::downloadFailureMessage() const {
    using Kind = Platform::URLSessionError::Kind;
    const std::optional<Platform::URLSessionError> failure = m_parts.downloader.lastFailure();
    if (failure && failure->kind == Kind::HTTPStatus)
        return formatted(localized(refusedMessage), {QString::number(failure->statusCode)});
    if (failure && failure->kind == Kind::File) {
        qint64 needed = 0;
        {
            std::lock_guard lock(m_mutex);
            needed = m_detail.bytesTotal;
        }
        return writeFailureMessage(m_parts.downloader.cacheURL().toLocalFile(), needed);
    }
    return QString();
}

void Installation::endInstall(bool launched) {
    onMainThread([this, launched] {
        m_isInstalling = false;
        m_state = launched ? State::Finished : State::Idle;
        if (!m_view)
            return;
        m_view->updateProgress(0);
        m_view->installationEnded();
        m_view->setInstallButtonTitle(
            localized(launched ? QStringLiteral("Launch") : QStringLiteral("Install")));
    });
}

void Installation::showInstallErrorDialog() {
    showInstallErrorDialog(localized(noConnectionMessage));
}

void Installation::showInstallErrorDialog(const QString& message) {
    m_state = State::Failed;
    showInView([message](InstallationView& view) { view.showInstallErrorDialog(message); });
}

void Installation::tryAgain() {
    sendEvent(error, errorTryAgain);
    download(installPackageURL());
}

void Installation::directDownload() {
    sendEvent(error, errorDirectDownload);
    (void)m_parts.workspace.openURL(directDMGPackageURL());
    endInstall(false);
}

void Installation::quitAfterError() {
    sendEvent(error, errorQuit);
    endInstall(false);
}
