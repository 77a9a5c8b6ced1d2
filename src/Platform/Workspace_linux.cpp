#include "Platform/Workspace.h"

#include "Platform/Bundle.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>

namespace Platform {

namespace {

std::shared_ptr<Workspace>& current() {
    static std::shared_ptr<Workspace> instance = std::make_shared<Workspace>();
    return instance;
}

bool isApplicationBundle(const QUrl& url) {
    return url.isLocalFile() &&
           url.toLocalFile().endsWith(QStringLiteral(".app"), Qt::CaseInsensitive) &&
           QFileInfo(url.toLocalFile()).isDir();
}

} // namespace

Workspace& Workspace::shared() {
    return *current();
}

void Workspace::setShared(std::shared_ptr<Workspace> workspace) {
    current() = workspace ? std::move(workspace) : std::make_shared<Workspace>();
}

bool Workspace::openURL(const QUrl& url) {
    if (url.isEmpty())
        return false;
    if (isApplicationBundle(url))
        return launchApplication(url, nullptr);
    return QDesktopServices::openUrl(url);
}

bool Workspace::launchApplication(const QUrl& applicationURL, QString* error) {
    const QString program = Bundle(applicationURL.toLocalFile()).executablePath();
    const QFileInfo info(program);
    if (program.isEmpty() || !info.isFile() || !info.isExecutable()) {
        if (error)
            *error = QStringLiteral("The application %1 has no program for this system")
                         .arg(applicationURL.toLocalFile());
        return false;
    }
    // Detached: the program runs in its own session and outlives the installer.
    if (!QProcess::startDetached(program, {}, info.absolutePath())) {
        if (error)
            *error = QStringLiteral("The program %1 could not be started").arg(program);
        return false;
    }
    return true;
}

} // namespace Platform
