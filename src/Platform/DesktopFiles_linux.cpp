#include "Platform/DesktopFiles.h"

#include "Platform/FileDescriptor.h"
#include "Platform/Log.h"
#include "Platform/Process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// Each missing folder from the top down, 0755 whatever the user's umask.
bool makeFolders(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (parent == folder || !makeFolders(parent))
        return false;
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0755) != 0)
        return errno == EEXIST && QFileInfo(folder).isDir();
    return ::chmod(name.constData(), 0755) == 0;
}

void runWhereCached(const QString& tool, const QStringList& options, const QString& folder,
                    const QString& cacheName) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty() || !QFileInfo::exists(folder + QLatin1Char('/') + cacheName))
        return;
    Process process;
    process.setLaunchPath(program);
    process.setArguments(options + QStringList{folder});
    if (!process.launch() || !process.waitUntilExit() || process.terminationStatus() != 0)
        Log::write(QStringLiteral("%1 could not refresh %2").arg(tool, folder));
    else
        Log::write(QStringLiteral("%1 refreshed %2").arg(tool, folder));
}

} // namespace

bool DesktopFiles::writeNewFile(const QString& path, const QByteArray& contents, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    FileDescriptor file;
    if (makeFolders(QFileInfo(path).path()))
        file.reset(
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    const bool created = file.valid();
    if (created && ::fchmod(file.get(), 0644) == 0 &&
        file.writeAll(contents.constData(), contents.size()) && file.close())
        return true;
    const int failure = errno ? errno : EIO;
    // Only a file made here goes again; one that was there already is someone else's.
    if (created)
        (void)::unlink(name.constData());
    if (error)
        *error = QStringLiteral("Cannot write %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(failure)));
    return false;
}

void DesktopFiles::refreshCaches(const QString& applicationsFolder,
                                 const QString& iconThemeFolder) {
    runWhereCached(QStringLiteral("update-desktop-database"), {QStringLiteral("-q")},
                   applicationsFolder, QStringLiteral("mimeinfo.cache"));
    runWhereCached(QStringLiteral("gtk-update-icon-cache"),
                   {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("-f")},
                   iconThemeFolder, QStringLiteral("icon-theme.cache"));
}

} // namespace Platform
