#include "Platform/Process.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

constexpr int reapPollMilliseconds = 1000;

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

pid_t waitForChild(pid_t pid, int* status, int options) {
    pid_t result = 0;
    do
        result = ::waitpid(pid, status, options);
    while (result < 0 && errno == EINTR);
    return result;
}

// Writes with SIGPIPE held back on this thread only, so a program that went away turns the
// write into EPIPE instead of ending the installer.
bool writeAll(const FileDescriptor& fd, const QByteArray& data) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool written = fd.writeAll(data.constData(), data.size());
    const int failure = written ? 0 : errno;
    if (failure == EPIPE) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = failure;
    return written;
}

// The file actions and attributes of one spawn, released on every path.
class SpawnSettings {
public:
    SpawnSettings() {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&m_attributes);
        posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // A pipe whose installer end is returned; its other end becomes the child's `target`.
    [[nodiscard]] bool addPipe(int target, bool parentWrites, FileDescriptor* parentEnd) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return false;
        FileDescriptor readEnd(ends[0]);
        FileDescriptor writeEnd(ends[1]);
        *parentEnd = std::move(parentWrites ? writeEnd : readEnd);
        m_childEnds.push_back(std::move(parentWrites ? readEnd : writeEnd));
        return posix_spawn_file_actions_adddup2(&m_actions, m_childEnds.back().get(), target) == 0;
    }
    [[nodiscard]] bool addDuplicate(int from, int to) {
        return posix_spawn_file_actions_adddup2(&m_actions, from, to) == 0;
    }
    [[nodiscard]] bool addDirectory(const QByteArray& directory) {
        return posix_spawn_file_actions_addchdir_np(&m_actions, directory.constData()) == 0;
    }
    // No blocked signals and SIGPIPE at its default in the child, whatever this process (or a
    // library in it) chose for itself; optionally a process group or session of its own.
    [[nodiscard]] bool setSignalsAndGroup(bool ownGroup, bool ownSession) {
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (ownSession)
            flags |= POSIX_SPAWN_SETSID;
        else if (ownGroup)
            flags |= POSIX_SPAWN_SETPGROUP;
        return posix_spawnattr_setsigmask(&m_attributes, &none) == 0 &&
               posix_spawnattr_setsigdefault(&m_attributes, &defaults) == 0 &&
               posix_spawnattr_setpgroup(&m_attributes, 0) == 0 &&
               posix_spawnattr_setflags(&m_attributes, flags) == 0;
    }
    // The child's pipe ends are closed here once it has its copies.
    void closeChildEnds() { m_childEnds.clear(); }

    const posix_spawn_file_actions_t* actions() const { return &m_actions; }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
    std::vector<FileDescriptor> m_childEnds;
};

// Watches one child nobody waits for any more, on the application's thread, and reaps it when
// it ends: woken by its process descriptor, or by a timer where the system has none.
void watchUntilEnded(pid_t pid, const std::shared_ptr<FileDescriptor>& processDescriptor) {
    QCoreApplication* application = QCoreApplication::instance();
    if (processDescriptor->valid()) {
        auto* notifier =
            new QSocketNotifier(processDescriptor->get(), QSocketNotifier::Read, application);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [pid, processDescriptor, notifier] {
                             if (waitForChild(pid, nullptr, WNOHANG) == 0)
                                 return;
                             notifier->setEnabled(false);
                             notifier->deleteLater();
                         });
        return;
    }
    auto* timer = new QTimer(application);
    QObject::connect(timer, &QTimer::timeout, timer, [pid, timer] {
        if (waitForChild(pid, nullptr, WNOHANG) != 0)
            timer->deleteLater();
    });
    timer->start(reapPollMilliseconds);
}

// The one reaping point for children whose Process went away while they ran.
void reapWhenEnded(pid_t pid, bool ownSession) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        // A program of its own session is meant to run on; it is reaped when we exit.
        if (!ownSession)
            waitForChild(pid, nullptr, 0);
        return;
    }
    auto processDescriptor =
        std::make_shared<FileDescriptor>(int(::syscall(SYS_pidfd_open, pid, 0)));
    QMetaObject::invokeMethod(
        application, [pid, processDescriptor] { watchUntilEnded(pid, processDescriptor); },
        Qt::QueuedConnection);
}

} // namespace

Process::~Process() {
    m_stdin.reset();
    m_stdout.reset();
    m_stderr.reset();
    if (m_pid > 0 && !m_exited)
        reapWhenEnded(m_pid, m_startsSession);
}

void Process::fail(const QString& error, int systemError) {
    m_error = error;
    m_systemError = systemError;
}

bool Process::launch() {
    if (m_pid > 0) {
        fail(QStringLiteral("The program %1 was already launched").arg(m_launchPath), EBUSY);
        return false;
    }
    SpawnSettings settings;
    bool ready = settings.setSignalsAndGroup(m_startsGroup, m_startsSession);
    if (ready && m_stdinMode == Stream::Pipe)
        ready = settings.addPipe(STDIN_FILENO, true, &m_stdin);
    if (ready && m_stdoutMode == Stream::Pipe)
        ready = settings.addPipe(STDOUT_FILENO, false, &m_stdout);
    if (ready && m_stderrToOutput)
        ready = settings.addDuplicate(STDOUT_FILENO, STDERR_FILENO);
    else if (ready && m_stderrMode == Stream::Pipe)
        ready = settings.addPipe(STDERR_FILENO, false, &m_stderr);
    if (ready && !m_currentDirectory.isNull())
        ready = settings.addDirectory(QFile::encodeName(m_currentDirectory));

    const QByteArray program = QFile::encodeName(m_launchPath);
    std::vector<QByteArray> arguments{program};
    for (const QString& argument : m_arguments)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int result = ready ? 0 : (errno ? errno : EINVAL);
    pid_t pid = 0;
    if (ready)
        result = posix_spawn(&pid, program.constData(), settings.actions(), settings.attributes(),
                             argv.data(), environ);
    settings.closeChildEnds();
    if (result != 0) {
        m_stdin.reset();
        m_stdout.reset();
        m_stderr.reset();
        fail(QStringLiteral("The program %1 could not be started: %2")
                 .arg(m_launchPath, systemErrorText(result)),
             result);
        return false;
    }
    m_pid = pid;
    return true;
}

bool Process::writeToStandardInput(const QByteArray& data) {
    if (!m_stdin.valid()) {
        fail(QStringLiteral("The standard input of %1 is not a pipe").arg(m_launchPath), EBADF);
        return false;
    }
    if (!writeAll(m_stdin, data)) {
        const int error = errno;
        fail(QStringLiteral("Cannot write to %1: %2").arg(m_launchPath, systemErrorText(error)),
             error);
        return false;
    }
    return true;
}

void Process::closeStandardInput() {
    m_stdin.reset();
}

std::optional<QByteArray> Process::readStandardOutputToEnd() {
    if (!m_stdout.valid()) {
        fail(QStringLiteral("The standard output of %1 is not a pipe").arg(m_launchPath), EBADF);
        return std::nullopt;
    }
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const qint64 count = m_stdout.read(buffer, sizeof buffer);
        if (count < 0) {
            const int error = errno;
            fail(
                QStringLiteral("Cannot read from %1: %2").arg(m_launchPath, systemErrorText(error)),
                error);
            return std::nullopt;
        }
        if (count == 0)
            break;
        data.append(buffer, count);
    }
    m_stdout.reset();
    return data;
}

FileDescriptor Process::takeStandardOutput() {
    return std::move(m_stdout);
}

bool Process::waitUntilExit() {
    if (m_pid <= 0) {
        fail(QStringLiteral("The program %1 was not launched").arg(m_launchPath), ECHILD);
        return false;
    }
    if (!isRunning())
        return true;
    // Waits without reaping, so the number stays this program's while terminate() may use it.
    siginfo_t info{};
    while (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    return checkExit() == Exit::Ended;
}

Process::Exit Process::checkExit() {
    std::lock_guard lock(m_mutex);
    if (m_exited)
        return Exit::Ended;
    int status = 0;
    const pid_t result = m_pid > 0 ? waitForChild(m_pid, &status, WNOHANG) : -1;
    if (result == 0)
        return Exit::Running;
    if (result < 0) {
        const int error = m_pid > 0 ? errno : ECHILD;
        fail(QStringLiteral("Cannot wait for %1: %2").arg(m_launchPath, systemErrorText(error)),
             error);
        return Exit::Unknown;
    }
    record(status);
    return Exit::Ended;
}

void Process::record(int waitStatus) {
    m_exited = true;
    m_signaled = WIFSIGNALED(waitStatus);
    m_status = m_signaled ? WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

void Process::terminate() {
    std::lock_guard lock(m_mutex);
    if (m_pid > 0 && !m_exited)
        ::kill(m_startsGroup || m_startsSession ? -m_pid : m_pid, SIGTERM);
}

bool Process::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_pid > 0 && !m_exited;
}

int Process::terminationStatus() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

bool Process::terminatedBySignal() const {
    std::lock_guard lock(m_mutex);
    return m_signaled;
}

} // namespace Platform
