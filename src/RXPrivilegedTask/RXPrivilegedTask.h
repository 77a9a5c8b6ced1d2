#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QFile;
class QTimer;

namespace Platform {
class Process;
}

// Runs one tool as the administrator and follows it to its end.
//
// The end of the child is seen either by waitUntilExit, or, when the launching thread has an
// event loop, by a check every 0.05 s on that loop, which then posts
// "RXPrivilegedTaskDidTerminateNotification" (object: the task) and calls the termination
// handler, on that thread. A thread without an event loop gets no such check.
// Each accessor is atomic; the task is meant to be driven from one thread.
class RXPrivilegedTask {
public:
    using TerminationHandler = std::function<void(RXPrivilegedTask& task)>;

    // Rights obtained before the launch. On Linux pkexec asks the user when the tool starts,
    // so there is nothing to obtain beforehand and nothing to carry.
    struct Authorization {};

    // Launch statuses: started, no way to run a tool as the administrator here, and a tool
    // that could not be started.
    static constexpr int32_t errSuccess = 0;
    static constexpr int32_t errFunctionNotAvailable = -70001;
    static constexpr int32_t errToolExecuteFailure = -60031;

    RXPrivilegedTask();
    explicit RXPrivilegedTask(const QString& launchPath);
    RXPrivilegedTask(const QString& launchPath, const QStringList& arguments);
    RXPrivilegedTask(const QString& launchPath, const QStringList& arguments,
                     const QString& currentDirectory);
    // A task destroyed while running waits for its child, so none is left unreaped.
    ~RXPrivilegedTask();
    RXPrivilegedTask(const RXPrivilegedTask&) = delete;
    RXPrivilegedTask& operator=(const RXPrivilegedTask&) = delete;

    // Create, launch and wait; the task is returned whatever the launch status was.
    static std::unique_ptr<RXPrivilegedTask>
    launchedPrivilegedTaskWithLaunchPath(const QString& launchPath);
    static std::unique_ptr<RXPrivilegedTask>
    launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments);
    static std::unique_ptr<RXPrivilegedTask>
    launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments,
                                         const QString& currentDirectory);
    static std::unique_ptr<RXPrivilegedTask>
    launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments,
                                         const QString& currentDirectory,
                                         const Authorization& authorization);

    // Whether the run-as-administrator call exists on this system.
    [[nodiscard]] static bool authorizationFunctionAvailable();

    [[nodiscard]] QStringList arguments() const;
    void setArguments(const QStringList& arguments);
    [[nodiscard]] QString currentDirectoryPath() const;
    void setCurrentDirectoryPath(const QString& currentDirectoryPath);
    [[nodiscard]] QString launchPath() const;
    void setLaunchPath(const QString& launchPath);
    [[nodiscard]] TerminationHandler terminationHandler() const;
    void setTerminationHandler(TerminationHandler terminationHandler);

    // The read end of the tool's standard output; null until a successful launch.
    [[nodiscard]] std::shared_ptr<QFile> outputFileHandle() const;
    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] int32_t processIdentifier() const;
    // The exit code of a normal exit, 128 + the signal number for a killed child; 0 before.
    [[nodiscard]] int32_t terminationStatus() const;

    // errSuccess when the tool was started (or was already running); otherwise
    // errFunctionNotAvailable or errToolExecuteFailure.
    int32_t launch();
    int32_t launchWithAuthorization(const Authorization& authorization);
    // Blocks until the child has ended; returns at once when none runs.
    void waitUntilExit();
    // One look at the child without blocking; run by the periodic check.
    void checkTaskStatus();
    // Has no effect: the tool normally runs as root, out of this process's reach.
    void terminate();

    // "<RXPrivilegedTask: 0x...> /bin/cp '-a' '/x/A.app' '/y/A.app' (CWD:/)", for log lines.
    [[nodiscard]] QString description() const;

private:
    [[nodiscard]] QString objectDescription() const;
    [[nodiscard]] bool refusedBeforeAuthorizing(int32_t* status) const;
    // These three run with m_mutex held.
    void startCheckingStatus();
    void stopCheckingStatus();
    void discardCheckStatusTimer();

    mutable std::mutex m_mutex;
    std::unique_ptr<QTimer> m_checkStatusTimer;
    // While set, the child is waitUntilExit's alone: a check only stops its timer.
    bool m_waitingUntilExit = false;
    bool m_isRunning = false;
    std::unique_ptr<Platform::Process> m_process;
    int32_t m_processIdentifier = 0;
    int32_t m_terminationStatus = 0;
    QStringList m_arguments;
    QString m_currentDirectoryPath;
    QString m_launchPath;
    std::shared_ptr<QFile> m_outputFileHandle;
    TerminationHandler m_terminationHandler;
};
