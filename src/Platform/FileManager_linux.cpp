#include "Platform/FileManager.h"

#include "Platform/FileDescriptor.h"
#include "Platform/SharedInstance.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace Platform {

namespace {

// A failure as errno plus the path it happened on; the first one wins.
struct Failure {
    int error = 0;
    QByteArray path;
    bool set(const QByteArray& where) {
        if (error == 0) {
            error = errno ? errno : EIO;
            path = where;
        }
        return false;
    }
};

QString describe(const char* what, const QString& path, const Failure& failure) {
    return QStringLiteral("%1 %2: %3 (%4)")
        .arg(QString::fromLatin1(what), path, QString::fromLocal8Bit(std::strerror(failure.error)),
             QFile::decodeName(failure.path));
}

QByteArray join(const QByteArray& folder, const char* name) {
    return folder + '/' + name;
}

// The entries of an open directory, "." and ".." left out. Takes a duplicate of fd.
std::optional<std::vector<QByteArray>> readNames(int fd) {
    FileDescriptor copy(::dup(fd));
    DIR* dir = copy.valid() ? ::fdopendir(copy.get()) : nullptr;
    if (!dir)
        return std::nullopt;
    (void)copy.release();
    std::vector<QByteArray> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    errno = error;
    if (error)
        return std::nullopt;
    return names;
}

bool removeAt(int parentFd, const char* name, const QByteArray& path, Failure& failure) {
    struct stat info;
    if (::fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return failure.set(path);
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parentFd, name, 0) == 0 || failure.set(path);
    // A read-only folder must become writable before its entries can go.
    if ((info.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmodat(parentFd, name, (info.st_mode & 07777) | S_IRWXU, 0);
    const FileDescriptor folder(
        ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid())
        return failure.set(path);
    const auto names = readNames(folder.get());
    if (!names)
        return failure.set(path);
    for (const QByteArray& entry : *names)
        removeAt(folder.get(), entry.constData(), join(path, entry.constData()), failure);
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || failure.set(path);
}

bool copyBytes(int from, int to) {
    if (::ioctl(to, FICLONE, from) == 0)
        return true;
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, size_t(1) << 30, 0);
        if (copied == 0)
            return true;
        if (copied > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        break;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(from, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count == 0;
        for (ssize_t done = 0; done < count;) {
            const ssize_t written = ::write(to, buffer + done, size_t(count - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return false;
            done += written;
        }
    }
}

void keepTimes(int fd, const struct stat& info) {
    const timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(fd, times);
}

// One copy of an item tree: its first failure, and whether files may be hard links.
struct Copying {
    Failure failure;
    bool linkFiles = false;
    std::stop_token stop;
};

bool copyAt(int fromParent, const char* fromName, int toParent, const char* toName,
            const QByteArray& fromPath, const QByteArray& toPath, bool* created, Copying& copying);

bool copyFile(int fromParent, const char* fromName, int toParent, const char* toName,
              const struct stat& info, const QByteArray& fromPath, const QByteArray& toPath,
              bool* created, Copying& copying) {
    if (copying.linkFiles) {
        if (::linkat(fromParent, fromName, toParent, toName, 0) == 0) {
            *created = true;
            return true;
        }
        if (errno == EEXIST)
            return copying.failure.set(toPath);
    }
    const FileDescriptor from(::openat(fromParent, fromName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid())
        return copying.failure.set(fromPath);
    const FileDescriptor to(
        ::openat(toParent, toName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.valid())
        return copying.failure.set(toPath);
    *created = true;
    if (!copyBytes(from.get(), to.get()))
        return copying.failure.set(toPath);
    if (::fchmod(to.get(), info.st_mode & 07777) != 0)
        return copying.failure.set(toPath);
    keepTimes(to.get(), info);
    return true;
}

bool copyFolder(int fromParent, const char* fromName, int toParent, const char* toName,
                const struct stat& info, const QByteArray& fromPath, const QByteArray& toPath,
                bool* created, Copying& copying) {
    const FileDescriptor from(
        ::openat(fromParent, fromName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid())
        return copying.failure.set(fromPath);
    const auto names = readNames(from.get());
    if (!names)
        return copying.failure.set(fromPath);
    // Owner-only until filled, so a read-only folder can still receive its entries.
    if (::mkdirat(toParent, toName, S_IRWXU) != 0)
        return copying.failure.set(toPath);
    *created = true;
    const FileDescriptor to(
        ::openat(toParent, toName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to.valid())
        return copying.failure.set(toPath);
    for (const QByteArray& name : *names) {
        bool entryCreated = false;
        if (!copyAt(from.get(), name.constData(), to.get(), name.constData(),
                    join(fromPath, name.constData()), join(toPath, name.constData()), &entryCreated,
                    copying))
            return false;
    }
    if (::fchmod(to.get(), info.st_mode & 07777) != 0)
        return copying.failure.set(toPath);
    keepTimes(to.get(), info);
    return true;
}

bool copyAt(int fromParent, const char* fromName, int toParent, const char* toName,
            const QByteArray& fromPath, const QByteArray& toPath, bool* created, Copying& copying) {
    if (copying.stop.stop_requested()) {
        errno = ECANCELED;
        return copying.failure.set(toPath);
    }
    struct stat info;
    if (::fstatat(fromParent, fromName, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return copying.failure.set(fromPath);
    if (S_ISLNK(info.st_mode)) {
        QByteArray target(info.st_size > 0 ? info.st_size + 1 : PATH_MAX, '\0');
        const ssize_t length = ::readlinkat(fromParent, fromName, target.data(), target.size());
        if (length < 0 || length >= target.size())
            return copying.failure.set(fromPath);
        target.truncate(length);
        if (::symlinkat(target.constData(), toParent, toName) != 0)
            return copying.failure.set(toPath);
        *created = true;
        return true;
    }
    if (S_ISREG(info.st_mode))
        return copyFile(fromParent, fromName, toParent, toName, info, fromPath, toPath, created,
                        copying);
    if (S_ISDIR(info.st_mode))
        return copyFolder(fromParent, fromName, toParent, toName, info, fromPath, toPath, created,
                          copying);
    errno = ENOTSUP;
    return copying.failure.set(fromPath);
}

// The folder a path lies in, opened, and the path's last component.
struct Location {
    FileDescriptor parent;
    QByteArray name;
    QByteArray path;
};

std::optional<Location> locate(const QString& path) {
    const QFileInfo info(path);
    Location location{FileDescriptor(::open(QFile::encodeName(info.absolutePath()).constData(),
                                            O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                      QFile::encodeName(info.fileName()), QFile::encodeName(path)};
    if (location.name.isEmpty() || location.name == "." || location.name == "..") {
        errno = EINVAL;
        return std::nullopt;
    }
    if (!location.parent.valid())
        return std::nullopt;
    return location;
}

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
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    return ::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found
               ? QString::fromLocal8Bit(found->pw_name)
               : QString::number(uid);
}

QString groupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    return ::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found
               ? QString::fromLocal8Bit(found->gr_name)
               : QString::number(gid);
}

} // namespace

FileManager& FileManager::shared() {
    return *SharedInstance<FileManager>::pointer();
}

std::optional<QStringList> FileManager::listDirectory(const QString& path, QString* error) const {
    const FileDescriptor folder(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const auto names = folder.valid() ? readNames(folder.get()) : std::nullopt;
    if (!names) {
        if (error)
            *error = QStringLiteral("Cannot read the folder %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    QStringList list;
    list.reserve(qsizetype(names->size()));
    for (const QByteArray& name : *names)
        list.append(QFile::decodeName(name));
    return list;
}

bool FileManager::isReadableFileAtPath(const QString& path) const {
    return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

bool FileManager::isWritableFileAtPath(const QString& path) const {
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

bool FileManager::isExecutableFileAtPath(const QString& path) const {
    return ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

std::optional<qint64> FileManager::availableBytesAtPath(const QString& path) const {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

QString FileManager::itemAttributesDescription(const QString& path) const {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
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

std::optional<uint> FileManager::posixPermissionsOfItemAtPath(const QString& path) const {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return uint(info.st_mode & 07777);
}

bool FileManager::setPosixPermissionsOfItemAtPath(const QString& path, uint permissions) const {
    return ::chmod(QFile::encodeName(path).constData(), mode_t(permissions)) == 0;
}

std::optional<QByteArray> FileManager::linkTargetAtPath(const QString& path) const {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return std::nullopt;
    QByteArray target(info.st_size > 0 ? info.st_size + 1 : PATH_MAX, '\0');
    const ssize_t length = ::readlink(native.constData(), target.data(), size_t(target.size()));
    if (length < 0 || length >= target.size())
        return std::nullopt;
    target.truncate(length);
    return target;
}

bool FileManager::createLinkAtPath(const QString& path, const QByteArray& target) const {
    return ::symlink(target.constData(), QFile::encodeName(path).constData()) == 0;
}

bool FileManager::moveItemAtPath(const QString& source, const QString& destination,
                                 QString* error) const {
    const QByteArray to = QFile::encodeName(destination);
    if (::renameat2(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD, to.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    Failure failure;
    failure.set(to);
    if (error)
        *error = describe("Cannot move", source + QStringLiteral(" to ") + destination, failure);
    return false;
}

QByteArray FileManager::folderIdentityAtPath(const QString& path) const {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return QByteArray();
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino));
}

bool FileManager::itemExistsAtPath(const QString& path) const {
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool FileManager::copyItemAtPath(const QString& source, const QString& destination, QString* error,
                                 std::stop_token stop) const {
    return copyOrLink(source, destination, false, error, std::move(stop));
}

bool FileManager::linkItemAtPath(const QString& source, const QString& destination, QString* error,
                                 std::stop_token stop) const {
    return copyOrLink(source, destination, true, error, std::move(stop));
}

bool FileManager::copyOrLink(const QString& source, const QString& destination, bool linkFiles,
                             QString* error, std::stop_token stop) {
    Copying copying{Failure(), linkFiles, std::move(stop)};
    const auto from = locate(source);
    const auto to = from ? locate(destination) : std::nullopt;
    bool created = false;
    const bool copied = from && to
                            ? copyAt(from->parent.get(), from->name.constData(), to->parent.get(),
                                     to->name.constData(), from->path, to->path, &created, copying)
                            : copying.failure.set(QFile::encodeName(from ? destination : source));
    if (copied)
        return true;
    if (created) {
        Failure ignored;
        removeAt(to->parent.get(), to->name.constData(), to->path, ignored);
    }
    if (error)
        *error = describe(linkFiles ? "Cannot link" : "Cannot copy",
                          source + QStringLiteral(" to ") + destination, copying.failure);
    return false;
}

bool FileManager::removeItemAtPath(const QString& path, QString* error) const {
    Failure failure;
    const auto location = locate(path);
    const bool removed = location ? removeAt(location->parent.get(), location->name.constData(),
                                             location->path, failure)
                                  : failure.set(QFile::encodeName(path));
    if (!removed && error)
        *error = describe("Cannot remove", path, failure);
    return removed;
}

} // namespace Platform
