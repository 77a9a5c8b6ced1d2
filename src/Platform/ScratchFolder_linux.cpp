#include "Platform/ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {

namespace {

const QString prefix = QStringLiteral(".partial-");

// The folder itself carries the lock; it is released when the owner's descriptor closes,
// also when the owner is killed.
int openLocked(const QString& path, int operation) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, operation) == 0)
        return fd;
    ::close(fd);
    return -1;
}

} // namespace

std::unique_ptr<ScratchFolder> ScratchFolder::create(const QString& parent) {
    QByteArray pattern = QFile::encodeName(parent + QLatin1Char('/') + prefix + "XXXXXX");
    if (!::mkdtemp(pattern.data()))
        return nullptr;
    const QString path = QFile::decodeName(pattern);
    const int fd = openLocked(path, LOCK_EX | LOCK_NB);
    if (fd < 0) {
        ::rmdir(pattern.constData());
        return nullptr;
    }
    return std::unique_ptr<ScratchFolder>(new ScratchFolder(path, fd));
}

void ScratchFolder::removeAbandoned(const QString& parent) {
    const QStringList names =
        QDir(parent).entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = parent + QLatin1Char('/') + name;
        const FileDescriptor lock(openLocked(path, LOCK_EX | LOCK_NB));
        if (lock.valid())
            QDir(path).removeRecursively();
    }
}

ScratchFolder::ScratchFolder(QString path, int lockedFd)
    : m_path(std::move(path)), m_lock(lockedFd) {}

// Not through the replaceable file manager: a scratch folder may go at exit, after it.
ScratchFolder::~ScratchFolder() {
    QDir(m_path).removeRecursively();
}

} // namespace Platform
