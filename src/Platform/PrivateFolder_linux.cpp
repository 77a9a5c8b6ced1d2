#include "Platform/PrivateFolder.h"

#include "Platform/FileDescriptor.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr qint64 packageLifetimeSeconds = 24 * 60 * 60;
// The random part mkdtemp gives a fallback folder's name.
constexpr qsizetype fallbackSuffixLength = 6;

bool isPrivate(const FileDescriptor& folder) {
    struct stat info {};
    return folder.valid() && ::fstat(folder.get(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

FileDescriptor openFolder(const QString& path) {
    return FileDescriptor(::open(QFile::encodeName(path).constData(), folderFlags));
}

FileDescriptor openFolderAt(const FileDescriptor& parent, const QString& name) {
    return FileDescriptor(::openat(parent.get(), QFile::encodeName(name).constData(), folderFlags));
}

// A folder of this user that others could read or enter but never write to cannot hold
// anything planted, so it may be closed to them.
bool tighten(const QString& path) {
    const FileDescriptor folder = openFolder(path);
    struct stat info {};
    if (!folder.valid() || ::fstat(folder.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    return (info.st_mode & 07777) == S_IRWXU || ::fchmod(folder.get(), S_IRWXU) == 0;
}

// The first private "<path>.XXXXXX" in name order, so every caller settles on the same one.
QString existingFallback(const QString& path) {
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QLatin1Char('.');
    const QStringList names =
        QDir(info.absolutePath())
            .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString candidate = info.absolutePath() + QLatin1Char('/') + name;
        if (name.size() == prefix.size() + fallbackSuffixLength && name.startsWith(prefix) &&
            isPrivate(openFolder(candidate)))
            return candidate;
    }
    return QString();
}

void removeOldPackages(const QString& folder) {
    const FileDescriptor directory = openFolder(folder);
    const FileManager files;
    const std::optional<QStringList> names = files.listDirectory(folder, nullptr);
    if (!isPrivate(directory) || !names)
        return;
    const qint64 oldest = QDateTime::currentSecsSinceEpoch() - packageLifetimeSeconds;
    for (const QString& name : *names) {
        struct stat info {};
        if (name == QLatin1String("Volumes") ||
            ::fstatat(directory.get(), QFile::encodeName(name).constData(), &info,
                      AT_SYMLINK_NOFOLLOW) != 0 ||
            info.st_mtime >= oldest)
            continue;
        (void)files.removeItemAtPath(folder + QLatin1Char('/') + name, nullptr);
    }
}

} // namespace

QString PrivateFolder::make(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    if (tighten(path))
        return path;
    QString fallback = existingFallback(path);
    if (fallback.isNull()) {
        QByteArray pattern = QFile::encodeName(path) + ".XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            Log::write(QStringLiteral("Download folder %1 is not private and no other can be "
                                      "made beside it")
                           .arg(path));
            return path;
        }
        fallback = QFile::decodeName(pattern);
    }
    removeOldPackages(fallback);
    Log::write(QStringLiteral("Download folder %1 is not private; using %2").arg(path, fallback));
    return fallback;
}

QString PrivateFolder::locate(const QString& path) {
    return isPrivate(openFolder(path)) ? path : existingFallback(path);
}

bool PrivateFolder::makeInside(const QString& root, const QString& name) {
    const FileDescriptor folder = openFolder(root);
    if (!isPrivate(folder))
        return false;
    ::mkdirat(folder.get(), QFile::encodeName(name).constData(), S_IRWXU);
    return isPrivate(openFolderAt(folder, name));
}

bool PrivateFolder::isPrivatePath(const QString& root, const QString& path) {
    if (path != root && !path.startsWith(root + QLatin1Char('/')))
        return false;
    FileDescriptor folder = openFolder(root);
    if (!isPrivate(folder))
        return false;
    for (const QString& name : path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            return false;
        folder = openFolderAt(folder, name);
        if (!isPrivate(folder))
            return false;
    }
    return true;
}

} // namespace Platform
