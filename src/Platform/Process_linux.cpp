#include "Platform/Process.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void closeDescriptor(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Writes with SIGPIPE held back on this thread only, so a program that went away turns the
// write into EPIPE instead of ending the installer.
bool writeAll(int fd, const char* data, size_t size) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    int failure = 0;
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            failure = errno;
            break;
        }
        data += written;
        size -= size_t(written);
    }
    if (failure == EPIPE) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return failure == 0;
}

// Waits for a program nobody waits for any more: its unread pipes are drained, so it cannot
// block on a full pipe, and it is reaped, so it leaves no zombie.
void reapInBackground(pid_t pid, int outputFd, int errorFd) {
    std::thread([pid, outputFd, errorFd] {
        std::vector<pollfd> open;
        for (int fd : {outputFd, errorFd})
            if (fd >= 0)
                open.push_back({fd, POLLIN, 0});
        char buffer[4096];
        while (!open.empty()) {
            if (::poll(open.data(), open.size(), -1) < 0 && errno != EINTR)
                break;
            for (auto it = open.begin(); it != open.end();) {
                const bool ended = it->revents != 0 && ::read(it->fd, buffer, sizeof buffer) <= 0;
                if (ended) {
                    ::close(it->fd);
                    it = open.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const pollfd& fd : open)
            ::close(fd.fd);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// A pipe whose installer end is returned in *parentEnd; the child end is dup'ed onto target.
bool addPipe(posix_spawn_file_actions_t* actions, int target, bool parentWrites, int* parentEnd,
             int* childEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    *parentEnd = parentWrites ? fds[1] : fds[0];
    *childEnd = parentWrites ? fds[0] : fds[1];
    return posix_spawn_file_actions_adddup2(actions, *childEnd, target) == 0;
}

} // namespace

Process::~Process() {
    closeDescriptor(m_stdin);
    if (isRunning()) {
        reapInBackground(m_pid, m_stdout, m_stderr);
        m_stdout = m_stderr = -1;
    }
    closeAll();
}

void Process::closeAll() {
    closeDescriptor(m_stdin);
    closeDescriptor(m_stdout);
    closeDescriptor(m_stderr);
}

bool Process::launch() {
    if (m_pid > 0) {
        m_error = QStringLiteral("The program %1 was already launched").arg(m_launchPath);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int childEnds[3] = {-1, -1, -1};
    bool pipesMade = true;
    if (m_stdinMode == Stream::Pipe)
        pipesMade = pipesMade && addPipe(&actions, 0, true, &m_stdin, &childEnds[0]);
    if (m_stdoutMode == Stream::Pipe)
        pipesMade = pipesMade && addPipe(&actions, 1, false, &m_stdout, &childEnds[1]);
    if (m_stderrMode == Stream::Pipe)
        pipesMade = pipesMade && addPipe(&actions, 2, false, &m_stderr, &childEnds[2]);
    const QByteArray directory = QFile::encodeName(m_currentDirectory);
    if (pipesMade && !m_currentDirectory.isNull())
        pipesMade = posix_spawn_file_actions_addchdir_np(&actions, directory.constData()) == 0;

    const QByteArray program = QFile::encodeName(m_launchPath);
    std::vector<QByteArray> arguments{program};
    for (const QString& argument : m_arguments)
        arguments.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int result = pipesMade ? 0 : errno;
    pid_t pid = 0;
    if (pipesMade)
        result = posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int& fd : childEnds)
        closeDescriptor(fd);
    if (result != 0) {
        closeAll();
        m_error = QStringLiteral("The program %1 could not be started: %2")
                      .arg(m_launchPath, systemError(result));
        return false;
    }
    m_pid = pid;
    return true;
}

bool Process::writeToStandardInput(const QByteArray& data) {
    if (m_stdin < 0) {
        m_error = QStringLiteral("The standard input of %1 is not a pipe").arg(m_launchPath);
        return false;
    }
    if (!writeAll(m_stdin, data.constData(), size_t(data.size()))) {
        m_error = QStringLiteral("Cannot write to %1: %2").arg(m_launchPath, systemError(errno));
        return false;
    }
    return true;
}

void Process::closeStandardInput() {
    closeDescriptor(m_stdin);
}

std::optional<QByteArray> Process::readStandardOutputToEnd() {
    if (m_stdout < 0) {
        m_error = QStringLiteral("The standard output of %1 is not a pipe").arg(m_launchPath);
        return std::nullopt;
    }
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(m_stdout, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            m_error =
                QStringLiteral("Cannot read from %1: %2").arg(m_launchPath, systemError(errno));
            return std::nullopt;
        }
        if (count == 0)
            break;
        data.append(buffer, count);
    }
    closeDescriptor(m_stdout);
    return data;
}

bool Process::waitUntilExit() {
    if (m_pid <= 0) {
        m_error = QStringLiteral("The program %1 was not launched").arg(m_launchPath);
        return false;
    }
    if (m_exited)
        return true;
    int status = 0;
    pid_t result;
    while ((result = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (result < 0) {
        m_error = QStringLiteral("Cannot wait for %1: %2").arg(m_launchPath, systemError(errno));
        return false;
    }
    m_exited = true;
    m_signaled = WIFSIGNALED(status);
    m_status = m_signaled ? WTERMSIG(status) : WEXITSTATUS(status);
    return true;
}

} // namespace Platform
