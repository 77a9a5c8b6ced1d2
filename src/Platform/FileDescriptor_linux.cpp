#include "Platform/FileDescriptor.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

FileDescriptor FileDescriptor::openForReading(const QString& path) {
    return FileDescriptor(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

int FileDescriptor::release() {
    return std::exchange(m_fd, -1);
}

void FileDescriptor::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool FileDescriptor::close() {
    return m_fd >= 0 && ::close(release()) == 0;
}

bool FileDescriptor::isRegularFile() const {
    struct stat info {};
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
}

qint64 FileDescriptor::size() const {
    struct stat info {};
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 ? qint64(info.st_size) : -1;
}

qint64 FileDescriptor::readAt(qint64 offset, char* buffer, qint64 size) const {
    for (;;) {
        const ssize_t count = ::pread(m_fd, buffer, size_t(size), off_t(offset));
        if (count >= 0 || errno != EINTR)
            return qint64(count);
    }
}

qint64 FileDescriptor::read(char* buffer, qint64 size) const {
    for (;;) {
        const ssize_t count = ::read(m_fd, buffer, size_t(size));
        if (count >= 0 || errno != EINTR)
            return qint64(count);
    }
}

bool FileDescriptor::writeAll(const char* data, qint64 size) const {
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool FileDescriptor::linkAt(const QString& path) const {
    // Linking a descriptor itself (AT_EMPTY_PATH) needs a privilege; its /proc name does not.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    return m_fd >= 0 && ::linkat(AT_FDCWD, self.constData(), AT_FDCWD,
                                 QFile::encodeName(path).constData(), AT_SYMLINK_FOLLOW) == 0;
}

} // namespace Platform
