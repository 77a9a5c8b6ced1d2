#include "SystemBus.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString folder = QStringLiteral("/run/dbus");
const QString pidFile = QStringLiteral("/run/dbus/pid");
const QString socketFile = QStringLiteral("/run/dbus/system_bus_socket");

struct Result {
    int exitCode = -1;
    QByteArray output;
};

Result run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {-1, process.readAllStandardError()};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {-1, process.readAllStandardError()};
    return {process.exitCode(), process.exitCode() == 0 ? process.readAllStandardOutput()
                                                        : process.readAllStandardError()};
}

Result askBus(const QString& method, const QStringList& arguments = {}) {
    return run(QStringLiteral("dbus-send"),
               QStringList{QStringLiteral("--system"), QStringLiteral("--print-reply"),
                           QStringLiteral("--reply-timeout=10000"),
                           QStringLiteral("--dest=org.freedesktop.DBus"),
                           QStringLiteral("/org/freedesktop/DBus"),
                           QStringLiteral("org.freedesktop.DBus.") + method} +
                   arguments);
}

// The process of a well-known name on the bus, or 0.
pid_t ownerProcess(const QString& name) {
    const Result reply =
        askBus(QStringLiteral("GetConnectionUnixProcessID"), {QStringLiteral("string:") + name});
    if (reply.exitCode != 0)
        return 0;
    const QByteArray text = reply.output.trimmed();
    return pid_t(text.mid(text.lastIndexOf(' ') + 1).toInt());
}

// A process that is gone or only waits to be reaped by its parent.
bool ended(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

void end(pid_t pid) {
    if (pid <= 0 || ended(pid))
        return;
    kill(pid, SIGTERM);
    const QDeadlineTimer deadline(5000);
    while (!ended(pid) && !deadline.hasExpired())
        QThread::msleep(20);
    if (!ended(pid))
        kill(pid, SIGKILL);
}

} // namespace

SystemBus::SystemBus() {
    m_unavailableReason = start();
}

SystemBus::~SystemBus() {
    stop();
}

QString SystemBus::start() {
    if (geteuid() != 0)
        return QStringLiteral("starting a system bus and running pkexec without a password "
                              "need root");
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot create /run/dbus");
        m_createdFolder = true;
    }
    m_lock = open("/run/dbus", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_lock < 0 || flock(m_lock, LOCK_EX) != 0)
        return QStringLiteral("cannot lock /run/dbus");
    if (askBus(QStringLiteral("GetId")).exitCode == 0)
        return QString();
    if (QFileInfo::exists(pidFile))
        return QStringLiteral("no system bus answers, and a stale /run/dbus/pid would stop "
                              "dbus-daemon from starting one");

    const Result started =
        run(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--system"), QStringLiteral("--fork"), QStringLiteral("--print-pid")});
    if (started.exitCode != 0)
        return QStringLiteral("dbus-daemon --system --fork failed: ") +
               QString::fromLocal8Bit(started.output).trimmed();
    m_daemon = pid_t(started.output.trimmed().toInt());
    if (askBus(QStringLiteral("GetId")).exitCode != 0)
        return QStringLiteral("the system bus started but does not answer");
    return QString();
}

void SystemBus::stop() {
    if (m_daemon > 0) {
        const pid_t polkit = ownerProcess(QStringLiteral("org.freedesktop.PolicyKit1"));
        end(m_daemon);
        end(polkit);
        // The daemon runs as messagebus by then and cannot remove root's files itself.
        QFile::remove(pidFile);
        QFile::remove(socketFile);
    }
    if (m_lock >= 0)
        close(m_lock);
    if (m_createdFolder)
        QDir().rmdir(folder);
}
