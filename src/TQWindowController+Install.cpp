#include "TQWindowController.h"

#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/MainQueue.h"
#include "RXPrivilegedTask/RXPrivilegedTask.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <unistd.h>

namespace {

bool existsAtPath(const QString& path) {
    return Platform::FileManager::shared().itemExistsAtPath(path);
}

bool isWritableFileAtPath(const QString& path) {
    return access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

void TQWindowController::install(const QUrl& bundleURL) {
    markStageStart();
    const QString bundlePath = bundleURL.toLocalFile();
    if (!existsAtPath(bundlePath)) {
        failStage(QStringLiteral("Install_Fail"), QStringLiteral("安装失败：解压程序包不存在"),
                  bundlePath);
        return;
    }
    const QUrl directory = installDirectoryURL();
    if (directory.isEmpty()) {
        failStage(QStringLiteral("Install_Fail"), QStringLiteral("安装失败：找不到应用程序目录"),
                  QString());
        return;
    }

    const QString name = lastPathComponent(bundlePath);
    QString destination = directory.toLocalFile() + QLatin1Char('/') + name;
    if (existsAtPath(destination)) {
        const QUrl unique = generateUniqueURL(name, directory);
        destination = unique.isEmpty() ? QString() : unique.toLocalFile();
    }

    const bool copied =
        !destination.isEmpty() && (isWritableFileAtPath(directory.toLocalFile())
                                       ? copy(bundlePath, destination)
                                       : copyWithAuthority(bundlePath, destination));
    if (!copied) {
        selectDirectoryAfterFailedCopy(bundleURL, destination);
        return;
    }
    sendEvent(QStringLiteral("Install_Success"));
    sendEvent(QStringLiteral("Install_TimeInterval"), stageDuration());
    launch(QUrl::fromLocalFile(destination));
}

void TQWindowController::selectDirectoryAfterFailedCopy(const QUrl& bundleURL,
                                                        const QString& destination) {
    selectInstallDirectory([this, bundleURL, destination](const QUrl& chosen) {
        sendEvent(QStringLiteral("Select_Install_Directory"),
                  chosen.isEmpty() ? QString() : chosen.toLocalFile());
        if (!chosen.isEmpty()) {
            setInstallDirectoryURL(chosen);
            install(bundleURL);
            return;
        }
        sendEvent(QStringLiteral("Install_Fail"), QStringLiteral("安装失败：拷贝应用程序包失败"),
                  destination);
        endInstall(false);
    });
}

bool TQWindowController::copy(const QString& source, const QString& destination) {
    // The file manager removes what a failed copy had written, and never overwrites.
    QString description;
    if (Platform::FileManager::shared().copyItemAtPath(source, destination, &description))
        return true;
    Platform::Log::write(description);
    sendEvent(QStringLiteral("Install_Fail"), description);
    return false;
}

bool TQWindowController::copyWithAuthority(const QString& source, const QString& destination) {
    RXPrivilegedTask task;
    task.setLaunchPath(QStringLiteral("/bin/cp"));
    task.setArguments({QStringLiteral("-a"), source, destination});
    const int32_t status = task.launch();
    task.waitUntilExit();
    // A copy that stopped part-way leaves something behind; only the tool's own success counts.
    return status == 0 && task.terminationStatus() == 0 && existsAtPath(destination);
}

void TQWindowController::selectInstallDirectory(std::function<void(const QUrl&)> callback) {
    QPointer<TQWindowController> self(this);
    Platform::mainQueue().addOperation([self, callback = std::move(callback)] {
        if (!self)
            return;
        auto* panel = new QFileDialog(self->_window);
        panel->setObjectName(QStringLiteral("selectInstallDirectoryPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowModality(Qt::WindowModal);
        panel->setWindowTitle(localized(QStringLiteral(
            "Unable to install it to the application directory, please change the installation "
            "path.")));
        panel->setFileMode(QFileDialog::Directory);
        panel->setOption(QFileDialog::ShowDirsOnly, true);
        panel->setOption(QFileDialog::ReadOnly, false);
        QObject::connect(panel, &QFileDialog::finished, panel, [panel, callback](int result) {
            if (!callback)
                return;
            const QStringList chosen = panel->selectedFiles();
            callback(result == QDialog::Accepted && !chosen.isEmpty()
                         ? QUrl::fromLocalFile(chosen.first())
                         : QUrl());
        });
        panel->open();
    });
}
