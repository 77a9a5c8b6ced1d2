#include "Platform/Workspace.h"

#include "Platform/Bundle.h"
#include "Platform/Process.h"
#include "Platform/SharedInstance.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace Platform {

namespace {

// Contents/Linux/<CFBundleExecutable> of a bundle folder; null when the settings name no
// program or a name that would lead out of that folder.
QString programOf(const QUrl& applicationURL) {
    const QString path = applicationURL.isLocalFile() ? applicationURL.toLocalFile() : QString();
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return QString();
    const Bundle bundle(path);
    const QString name = bundle.plainString(QStringLiteral("CFBundleExecutable"));
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QStringLiteral("..") ||
        name == QStringLiteral("."))
        return QString();
    return bundle.executablePath();
}

} // namespace

Workspace& Workspace::shared() {
    return *SharedInstance<Workspace>::pointer();
}

bool Workspace::openURL(const QUrl& url) {
    if (url.isEmpty())
        return false;
    // A local item counts as opened only when it is a bundle whose program was started:
    // the installer opens nothing else from disk.
    if (url.isLocalFile())
        return launchApplication(url, nullptr);
    return QDesktopServices::openUrl(url);
}

bool Workspace::launchApplication(const QUrl& applicationURL, QString* error) {
    const QString program = programOf(applicationURL);
    const QFileInfo info(program);
    if (program.isEmpty() || !info.isFile() || !info.isExecutable()) {
        if (error)
            *error = QStringLiteral("The application %1 has no program for this system")
                         .arg(applicationURL.toLocalFile());
        return false;
    }
    // Without a shell, in a session of its own: the program outlives the installer, and is
    // reaped when it ends before. False when the program could not be executed.
    Process application;
    application.setLaunchPath(program);
    application.setCurrentDirectoryPath(info.absolutePath());
    application.setStartsSession(true);
    if (!application.launch()) {
        if (error)
            *error = QStringLiteral("The program %1 could not be started").arg(program);
        return false;
    }
    return true;
}

} // namespace Platform
