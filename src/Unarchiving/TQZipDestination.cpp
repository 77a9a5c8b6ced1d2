#include "Unarchiving/TQZipDestination.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isDotOrEmpty(const QByteArray& name) {
    return name.isEmpty() || name == ".";
}

void closeDescriptor(int descriptor) {
    if (descriptor >= 0)
        ::close(descriptor);
}

} // namespace

TQZipDestination::TQZipDestination(QString path) : m_path(std::move(path)) {}

TQZipDestination::~TQZipDestination() {
    if (m_current != m_root)
        closeDescriptor(m_current);
    closeDescriptor(m_root);
}

std::optional<QByteArrayList> TQZipDestination::components(const QByteArray& name) {
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

bool TQZipDestination::isContainedLink(const QByteArrayList& components, const QByteArray& target) {
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

bool TQZipDestination::openRoot() {
    if (m_root >= 0)
        return true;
    QDir().mkpath(m_path);
    m_root = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_current = m_root;
    return m_root >= 0;
}

TQZipDestination::Result TQZipDestination::makeFolders(const QByteArrayList& components,
                                                       qsizetype count) {
    if (!openRoot())
        return Result::Failed;
    const QByteArray key = components.mid(0, count).join('/');
    if (key == m_currentKey)
        return Result::Done;

    int folder = m_root;
    qsizetype start = 0;
    if (!m_currentKey.isEmpty() && key.startsWith(m_currentKey + '/')) {
        folder = m_current;
        start = m_currentKey.count('/') + 1;
    }
    for (qsizetype i = start; i < count; ++i) {
        int next = folder;
        const Result result = descend(next, components[i]);
        if (folder != m_root && folder != m_current)
            closeDescriptor(folder);
        if (result != Result::Done)
            return result;
        folder = next;
    }
    setCurrent(folder, key);
    return Result::Done;
}

TQZipDestination::Result TQZipDestination::descend(int& folder, const QByteArray& name) const {
    int next = ::openat(folder, name.constData(), folderFlags);
    if (next < 0 && errno == ENOENT && ::mkdirat(folder, name.constData(), 0777) == 0)
        next = ::openat(folder, name.constData(), folderFlags);
    if (next >= 0) {
        folder = next;
        return Result::Done;
    }
    struct stat status {};
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode))
        return Result::Unsafe;
    return Result::Failed;
}

void TQZipDestination::setCurrent(int folder, const QByteArray& key) {
    if (m_current != m_root && m_current != folder)
        closeDescriptor(m_current);
    m_current = folder;
    m_currentKey = key;
}

bool TQZipDestination::exists(const QByteArray& name) const {
    struct stat status {};
    return ::fstatat(m_current, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TQZipDestination::isLink(const QByteArray& name) const {
    struct stat status {};
    return ::fstatat(m_current, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(status.st_mode);
}

int TQZipDestination::createFile(const QByteArray& name, Result& result) const {
    const int file = ::openat(m_current, name.constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    result = file >= 0 ? Result::Done : isLink(name) ? Result::Unsafe : Result::Failed;
    return file;
}

TQZipDestination::Result TQZipDestination::createLink(const QByteArray& name,
                                                      const QByteArray& target) const {
    if (::symlinkat(target.constData(), m_current, name.constData()) == 0)
        return Result::Done;
    if (errno != EEXIST || ::unlinkat(m_current, name.constData(), 0) != 0)
        return Result::Failed;
    return ::symlinkat(target.constData(), m_current, name.constData()) == 0 ? Result::Done
                                                                             : Result::Failed;
}
