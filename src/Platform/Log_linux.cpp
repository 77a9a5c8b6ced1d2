#include "Platform/Log.h"

#include <QByteArray>
#include <QDateTime>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

namespace Platform {

namespace {

std::mutex& observerMutex() {
    static std::mutex mutex;
    return mutex;
}

Log::Observer& observer() {
    static Log::Observer current;
    return current;
}

} // namespace

void Log::write(const QString& message) {
    const QByteArray text = message.toUtf8();
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
    std::fprintf(stderr, "%s %s[%d:%ld] %s\n", stamp.constData(), program_invocation_short_name,
                 int(getpid()), long(syscall(SYS_gettid)), text.constData());
    syslog(LOG_NOTICE, "%s", text.constData());

    std::lock_guard lock(observerMutex());
    if (observer())
        observer()(message);
}

void Log::setObserver(Observer newObserver) {
    std::lock_guard lock(observerMutex());
    observer() = std::move(newObserver);
}

} // namespace Platform
