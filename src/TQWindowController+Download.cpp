#include "TQWindowController.h"

#include "Controls/TQDialogBox.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "GoogleReporter/TQGoogleReporter.h"
#include "Platform/Log.h"
#include "Platform/MainQueue.h"
#include "Platform/Workspace.h"
#include "TQDownloader.h"

#include <QFileInfo>

void TQWindowController::sendEvent(const QString& category, const QString& action,
                                   const QString& label) {
    TQGoogleReporter::shared().event(category, action, label);
}

QUrl TQWindowController::installDirectoryURL() const {
    std::lock_guard lock(_pipelineMutex);
    return _installDirectoryURL;
}

void TQWindowController::setInstallDirectoryURL(const QUrl& url) {
    std::lock_guard lock(_pipelineMutex);
    _installDirectoryURL = url;
}

void TQWindowController::markStageStart() {
    std::lock_guard lock(_pipelineMutex);
    _date = QDateTime::currentDateTimeUtc();
}

QString TQWindowController::stageDuration() const {
    std::lock_guard lock(_pipelineMutex);
    return QString::asprintf("%.2f", double(_date.msecsTo(QDateTime::currentDateTimeUtc())) / 1000);
}

void TQWindowController::setApplicationURL(const QUrl& url) {
    QPointer<TQWindowController> self(this);
    Platform::mainQueue().addOperation([self, url] {
        if (self)
            self->_applicationURL = url;
    });
}

void TQWindowController::setStageLabel(const QString& text) {
    QPointer<TQWindowController> self(this);
    Platform::mainQueue().addOperation([self, text] {
        if (self && self->_downloadLabell)
            self->_downloadLabell->setText(text);
    });
}

void TQWindowController::failStage(const QString& category, const QString& message,
                                   const QString& label) {
    sendEvent(category, message, label);
    showInstallErrorDialog();
    Platform::Log::write(message);
}

void TQWindowController::clickInstallButton() {
    if (!_applicationURL.isEmpty() && isScriboraApplication(_applicationURL)) {
        launchInstalledApplication();
        return;
    }
    sendEvent(QStringLiteral("Download_Number"));
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

void TQWindowController::startInstall() {
    updateProgress(0);
    if (_downloadLabell)
        _downloadLabell->setText(localized(QStringLiteral("Downloading")));
    if (_progressBox)
        _progressBox->show();
    if (_installButton)
        _installButton->hide();
    _isInstalling = true;
    download(installPackageURL());
}

void TQWindowController::download(const QUrl& url) {
    markStageStart();
    if (url.isEmpty()) {
        failStage(QStringLiteral("Download_Fail"), QStringLiteral("安装失败：压缩包下载地址为空"),
                  QString());
        return;
    }
    // Both callbacks run on the downloader's queue; the later stages run there too.
    TQDownloader::shared().download(
        url, [this](double value, double) { updateProgress(value * 0.9); },
        [this](const QUrl& location) {
            const QString path = location.isEmpty() ? QString() : location.toLocalFile();
            if (path.isEmpty() || !QFileInfo::exists(path)) {
                failStage(QStringLiteral("Download_Fail"),
                          QStringLiteral("安装失败：压缩包下载失败"), path);
                return;
            }
            sendEvent(QStringLiteral("Download_Success"));
            sendEvent(QStringLiteral("Download_TimeInterval"), stageDuration());
            unarchive(location);
        });
}

void TQWindowController::endInstall(bool launched) {
    QPointer<TQWindowController> self(this);
    Platform::mainQueue().addOperation([self, launched] {
        if (!self)
            return;
        self->_isInstalling = false;
        self->updateProgress(0);
        if (self->_progressBox)
            self->_progressBox->hide();
        if (self->_installButton)
            self->_installButton->show();
        self->setInstallButtonTitle(
            localized(launched ? QStringLiteral("Launch") : QStringLiteral("Install")));
    });
}

void TQWindowController::showInstallErrorDialog() {
    QPointer<TQWindowController> self(this);
    Platform::mainQueue().addOperation([self] {
        if (!self)
            return;
        // The dialog frees itself once a button was pressed.
        auto* dialog = new TQDialogBox();
        dialog->setTitle(localized(QStringLiteral("An error occurred during installation.")));
        dialog->setMessage(localized(
            QStringLiteral("Please make sure you have Internet connection and try again.")));
        dialog->addAction(localized(QStringLiteral("Try Again")), QString(""), [self] {
            sendEvent(QStringLiteral("Error"), QStringLiteral("Error_TryAgain"));
            if (self)
                self->download(installPackageURL());
        });
        dialog->addAction(localized(QStringLiteral("Direct Download")), QString(""), [self] {
            sendEvent(QStringLiteral("Error"), QStringLiteral("Error_DirectDownload"));
            (void)Platform::Workspace::shared().openURL(directDMGPackageURL());
            if (self)
                self->endInstall(false);
        });
        dialog->addAction(localized(QStringLiteral("Quit")), QString(""), [self] {
            sendEvent(QStringLiteral("Error"), QStringLiteral("Error_Quit"));
            if (self)
                self->endInstall(false);
        });
        dialog->beginSheet(self->_window);
    });
}

bool TQWindowController::windowShouldClose() {
    if (_window)
        _window->showMinimized();
    return false;
}
