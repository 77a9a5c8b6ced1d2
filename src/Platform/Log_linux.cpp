#include "Platform/Log.h"

#include "Platform/FileDescriptor.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr qint64 fileLimit = 1024 * 1024;

std::mutex& observerMutex() {
    static std::mutex mutex;
    return mutex;
}

Log::Observer& observer() {
    static Log::Observer current;
    return current;
}

std::atomic<bool>& verbose() {
    static std::atomic<bool> on{true};
    return on;
}

// The log file, shared by every writing thread under its mutex.
struct LogFile {
    std::mutex mutex;
    QString path;
    FileDescriptor file;
    qint64 size = 0;

    // With the mutex held.
    bool open() {
        file = FileDescriptor(::open(QFile::encodeName(path).constData(),
                                     O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
        size = file.valid() ? file.size() : 0;
        return file.valid() && file.isRegularFile();
    }

    // With the mutex held. A full file makes way for a new one; the previous one is kept.
    void append(const QByteArray& line) {
        if (!file.valid())
            return;
        if (size > 0 && size + line.size() > fileLimit) {
            const QByteArray name = QFile::encodeName(path);
            (void)::rename(name.constData(), (name + ".1").constData());
            if (!open())
                return;
        }
        if (file.writeAll(line.constData(), line.size()))
            size += line.size();
    }
};

LogFile& logFile() {
    static LogFile shared;
    return shared;
}

} // namespace

void Log::write(const QString& message) {
    const QByteArray text = message.toUtf8();
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
    const QByteArray line = stamp + ' ' + program_invocation_short_name + '[' +
                            QByteArray::number(getpid()) + ':' +
                            QByteArray::number(qint64(syscall(SYS_gettid))) + "] " + text + '\n';
    if (verbose())
        std::fputs(line.constData(), stderr);
    syslog(LOG_NOTICE, "%s", text.constData());
    {
        LogFile& file = logFile();
        std::lock_guard lock(file.mutex);
        file.append(line);
    }

    std::lock_guard lock(observerMutex());
    if (observer())
        observer()(message);
}

void Log::setVerbose(bool on) {
    verbose() = on;
}

bool Log::setFile(const QString& path) {
    LogFile& file = logFile();
    std::lock_guard lock(file.mutex);
    file.file.reset();
    file.path = path;
    if (path.isEmpty())
        return true;
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    (void)::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (file.open())
        return true;
    file.file.reset();
    return false;
}

QString Log::filePath() {
    LogFile& file = logFile();
    std::lock_guard lock(file.mutex);
    return file.file.valid() ? file.path : QString();
}

void Log::setObserver(Observer newObserver) {
    std::lock_guard lock(observerMutex());
    observer() = std::move(newObserver);
}

} // namespace Platform
