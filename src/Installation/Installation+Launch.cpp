#include "Installation/Installation.h"

#include "GoogleReporter/TQGoogleReporter.h"
#include "Installation/InstallationTable.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "Platform/Workspace.h"

#include <QFile>
#include <QFileInfo>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace {

QString fileType(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("NSFileTypeDirectory");
    if (S_ISLNK(mode))
        return QStringLiteral("NSFileTypeSymbolicLink");
    if (S_ISREG(mode))
        return QStringLiteral("NSFileTypeRegular");
    return QStringLiteral("NSFileTypeUnknown");
}

QString accountName(uid_t uid) {
    const passwd* entry = getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// A readable text of a folder's file attributes; null when they cannot be read.
QString attributesDescription(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    const QStringList lines = {
        QStringLiteral("NSFileType = %1;").arg(fileType(info.st_mode)),
        QStringLiteral("NSFilePosixPermissions = %1;")
            .arg(QString::number(info.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0'))),
        QStringLiteral("NSFileOwnerAccountName = %1;").arg(accountName(info.st_uid)),
        QStringLiteral("NSFileGroupOwnerAccountName = %1;").arg(groupName(info.st_gid)),
        QStringLiteral("NSFileSize = %1;").arg(qint64(info.st_size)),
        QStringLiteral("NSFileModificationDate = \"%1\";")
            .arg(QFileInfo(path).lastModified().toUTC().toString(Qt::ISODate)),
    };
    return QStringLiteral("{\n    %1\n}").arg(lines.join(QStringLiteral("\n    ")));
}

} // namespace

using namespace InstallationTable;

void Installation::launch(const QUrl& applicationURL) {
    m_state = State::Launching;
    if (m_parts.workspace.openURL(applicationURL)) {
        setApplicationURL(applicationURL);
        m_parts.reporter.createWrapperTag();
        (void)Platform::UserDefaults::standard().setString(
            QStringLiteral("ApplicationInstallDirectory"), applicationURL.toLocalFile());
        sendEvent(launchSuccess, applicationURL.toLocalFile());
        endInstall(true);
        return;
    }
    const QString parent = QFileInfo(applicationURL.toLocalFile()).path();
    sendEvent(launchFail, QString(), attributesDescription(parent));
    setApplicationURL(QUrl());
    Platform::Log::write(launchFailed);
    showInstallErrorDialog();
}

void Installation::launchInstalledApplication() {
    QString error;
    (void)m_parts.workspace.launchApplication(m_applicationURL, &error);
    Platform::Log::write(error.isNull() ? QStringLiteral("(null)") : error);
}
