#include "Platform/DirectoryHandle.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isDotOrEmpty(const QByteArray& name) {
    return name.isEmpty() || name == ".";
}

} // namespace

std::optional<QByteArrayList> DirectoryHandle::components(const QByteArray& name) {
    if (name.startsWith('/'))
        return std::nullopt;
    QByteArrayList result;
    for (const QByteArray& part : name.split('/')) {
        if (part == "..")
            return std::nullopt;
        if (!isDotOrEmpty(part))
            result.append(part);
    }
    if (result.isEmpty())
        return std::nullopt;
    return result;
}

bool DirectoryHandle::isContainedLink(const QByteArrayList& components, const QByteArray& target) {
    if (target.isEmpty() || target.startsWith('/') || target.contains('\0'))
        return false;
    const qsizetype depth = components.size() - 1;
    qsizetype climbs = 0;
    bool descending = false;
    for (const QByteArray& part : target.split('/')) {
        if (isDotOrEmpty(part))
            continue;
        if (part != "..") {
            descending = true;
            continue;
        }
        // After a descent the ".." would be resolved from wherever a link led, not from here.
        if (descending || ++climbs > depth)
            return false;
    }
    return true;
}

std::optional<uint> DirectoryHandle::creationMask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        bool read = false;
        const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&read, 8) : 0;
        if (read)
            return mask;
    }
    return std::nullopt;
}

bool DirectoryHandle::openRoot() {
    if (m_root.valid())
        return true;
    QDir().mkpath(m_path);
    m_root.reset(::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return m_root.valid();
}

DirectoryHandle::Result DirectoryHandle::makeFolders(const QByteArrayList& components,
                                                     qsizetype count) {
    if (!openRoot())
        return Result::Failed;
    const QByteArray key = components.mid(0, count).join('/');
    if (key == m_currentKey)
        return Result::Done;

    int folder = m_root.get();
    qsizetype start = 0;
    if (!m_currentKey.isEmpty() && key.startsWith(m_currentKey + '/')) {
        folder = current();
        start = m_currentKey.count('/') + 1;
    }
    FileDescriptor opened;
    for (qsizetype i = start; i < count; ++i) {
        FileDescriptor next;
        const Result result = descend(folder, components[i], next);
        if (result != Result::Done)
            return result;
        opened = std::move(next);
        folder = opened.get();
    }
    if (opened.valid())
        m_current = std::move(opened);
    else if (folder == m_root.get())
        m_current.reset();
    m_currentKey = key;
    return Result::Done;
}

DirectoryHandle::Result DirectoryHandle::descend(int folder, const QByteArray& name,
                                                 FileDescriptor& next) const {
    next.reset(::openat(folder, name.constData(), folderFlags));
    // Another handle on the same folder may make it at the same moment: as good as our own.
    if (!next.valid() && errno == ENOENT &&
        (::mkdirat(folder, name.constData(), 0777) == 0 || errno == EEXIST))
        next.reset(::openat(folder, name.constData(), folderFlags));
    if (next.valid())
        return Result::Done;
    struct stat status {};
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode))
        return Result::Unsafe;
    return Result::Failed;
}

bool DirectoryHandle::exists(const QByteArray& name) const {
    struct stat status {};
    return ::fstatat(current(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool DirectoryHandle::isLink(const QByteArray& name) const {
    struct stat status {};
    return ::fstatat(current(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(status.st_mode);
}

FileDescriptor DirectoryHandle::createFile(const QByteArray& name, uint mode, Result& result,
                                           bool& created) const {
    constexpr int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor file(::openat(current(), name.constData(), flags | O_EXCL, mode_t(mode)));
    created = file.valid();
    if (!created && errno == EEXIST)
        file.reset(::openat(current(), name.constData(), flags | O_TRUNC, mode_t(mode)));
    result = file.valid() ? Result::Done : isLink(name) ? Result::Unsafe : Result::Failed;
    return file;
}

DirectoryHandle::Result DirectoryHandle::createLink(const QByteArray& name,
                                                    const QByteArray& target) const {
    if (::symlinkat(target.constData(), current(), name.constData()) == 0)
        return Result::Done;
    if (errno != EEXIST || ::unlinkat(current(), name.constData(), 0) != 0)
        return Result::Failed;
    return ::symlinkat(target.constData(), current(), name.constData()) == 0 ? Result::Done
                                                                             : Result::Failed;
}

} // namespace Platform
