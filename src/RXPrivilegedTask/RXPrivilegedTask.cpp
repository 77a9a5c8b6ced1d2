#include "RXPrivilegedTask/RXPrivilegedTask.h"

#include "Platform/Authorization.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Process.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>

namespace {

const QString didTerminateNotification = QStringLiteral("RXPrivilegedTaskDidTerminateNotification");
constexpr int checkStatusIntervalMilliseconds = 50;

// The shell's convention: a killed child reads 128 + its signal, never 0.
int32_t terminationStatusFor(const Platform::Process& process, bool ended) {
    if (!ended) {
        Platform::Log::write(
            QStringLiteral("waitpid: %1").arg(qt_error_string(process.systemError())));
        return -1;
    }
    if (process.terminatedBySignal())
        return 128 + process.terminationStatus();
    return process.terminationStatus();
}

QString orNull(const QString& text) {
    return text.isNull() ? QStringLiteral("(null)") : text;
}

} // namespace

RXPrivilegedTask::RXPrivilegedTask() : m_currentDirectoryPath(QDir::currentPath()) {}

RXPrivilegedTask::RXPrivilegedTask(const QString& launchPath) : RXPrivilegedTask() {
    setLaunchPath(launchPath);
}

RXPrivilegedTask::RXPrivilegedTask(const QString& launchPath, const QStringList& arguments)
    : RXPrivilegedTask(launchPath) {
    setArguments(arguments);
}

RXPrivilegedTask::RXPrivilegedTask(const QString& launchPath, const QStringList& arguments,
                                   const QString& currentDirectory)
    : RXPrivilegedTask(launchPath, arguments) {
    setCurrentDirectoryPath(currentDirectory);
}

RXPrivilegedTask::~RXPrivilegedTask() {
    bool running = false;
    {
        std::lock_guard lock(m_mutex);
        running = m_isRunning;
        // Closing our end first lets a child blocked on a full pipe run to its end.
        if (running)
            m_outputFileHandle.reset();
    }
    if (running)
        waitUntilExit();
    std::lock_guard lock(m_mutex);
    if (m_checkStatusTimer && m_checkStatusTimer->thread() != QThread::currentThread())
        discardCheckStatusTimer();
}

std::unique_ptr<RXPrivilegedTask>
RXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath) {
    auto task = std::make_unique<RXPrivilegedTask>(launchPath);
    task->launch();
    task->waitUntilExit();
    return task;
}

std::unique_ptr<RXPrivilegedTask>
RXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath,
                                                       const QStringList& arguments) {
    auto task = std::make_unique<RXPrivilegedTask>(launchPath, arguments);
    task->launch();
    task->waitUntilExit();
    return task;
}

std::unique_ptr<RXPrivilegedTask> RXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
    const QString& launchPath, const QStringList& arguments, const QString& currentDirectory) {
    auto task = std::make_unique<RXPrivilegedTask>(launchPath, arguments, currentDirectory);
    task->launch();
    task->waitUntilExit();
    return task;
}

std::unique_ptr<RXPrivilegedTask> RXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
    const QString& launchPath, const QStringList& arguments, const QString& currentDirectory,
    const Authorization& authorization) {
    auto task = std::make_unique<RXPrivilegedTask>(launchPath, arguments, currentDirectory);
    task->launchWithAuthorization(authorization);
    task->waitUntilExit();
    return task;
}

bool RXPrivilegedTask::authorizationFunctionAvailable() {
    return Platform::Authorization::shared().isAvailable();
}

QStringList RXPrivilegedTask::arguments() const {
    std::lock_guard lock(m_mutex);
    return m_arguments;
}

void RXPrivilegedTask::setArguments(const QStringList& arguments) {
    std::lock_guard lock(m_mutex);
    m_arguments = arguments;
}

QString RXPrivilegedTask::currentDirectoryPath() const {
    std::lock_guard lock(m_mutex);
    return m_currentDirectoryPath;
}

void RXPrivilegedTask::setCurrentDirectoryPath(const QString& currentDirectoryPath) {
    std::lock_guard lock(m_mutex);
    m_currentDirectoryPath = currentDirectoryPath;
}

QString RXPrivilegedTask::launchPath() const {
    std::lock_guard lock(m_mutex);
    return m_launchPath;
}

void RXPrivilegedTask::setLaunchPath(const QString& launchPath) {
    std::lock_guard lock(m_mutex);
    m_launchPath = launchPath;
}

RXPrivilegedTask::TerminationHandler RXPrivilegedTask::terminationHandler() const {
    std::lock_guard lock(m_mutex);
    return m_terminationHandler;
}

void RXPrivilegedTask::setTerminationHandler(TerminationHandler terminationHandler) {
    std::lock_guard lock(m_mutex);
    m_terminationHandler = std::move(terminationHandler);
}

std::shared_ptr<QFile> RXPrivilegedTask::outputFileHandle() const {
    std::lock_guard lock(m_mutex);
    return m_outputFileHandle;
}

bool RXPrivilegedTask::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_isRunning;
}

int32_t RXPrivilegedTask::processIdentifier() const {
    std::lock_guard lock(m_mutex);
    return m_processIdentifier;
}

int32_t RXPrivilegedTask::terminationStatus() const {
    std::lock_guard lock(m_mutex);
    return m_terminationStatus;
}

// pkexec asks for the rights itself when the tool starts: nothing to obtain first.
int32_t RXPrivilegedTask::launch() {
    return launchWithAuthorization(Authorization{});
}

int32_t RXPrivilegedTask::launchWithAuthorization(const Authorization&) {
    int32_t status = errSuccess;
    if (refusedBeforeAuthorizing(&status))
        return status;

    std::optional<Platform::PrivilegedChild> child =
        Platform::Authorization::shared().runAsAdministrator(launchPath(), arguments(),
                                                             currentDirectoryPath());
    if (!child)
        return errToolExecuteFailure;

    std::lock_guard lock(m_mutex);
    m_isRunning = true;
    m_outputFileHandle = std::move(child->output);
    m_process = std::move(child->process);
    m_processIdentifier = m_process->processIdentifier();
    startCheckingStatus();
    return status;
}

bool RXPrivilegedTask::refusedBeforeAuthorizing(int32_t* status) const {
    if (isRunning()) {
        Platform::Log::write(QStringLiteral("Task already running: ") + description());
        *status = errSuccess;
        return true;
    }
    if (!authorizationFunctionAvailable()) {
        Platform::Log::write(QStringLiteral(
            "AuthorizationExecuteWithPrivileges() function not available on this system"));
        *status = errFunctionNotAvailable;
        return true;
    }
    // A relative path would name a different tool depending on where the tool is looked up.
    if (!QDir::isAbsolutePath(launchPath())) {
        Platform::Log::write(QStringLiteral("Launch path is not absolute: ") + description());
        *status = errToolExecuteFailure;
        return true;
    }
    return false;
}

void RXPrivilegedTask::startCheckingStatus() {
    if (!QAbstractEventDispatcher::instance())
        return;
    if (m_checkStatusTimer && m_checkStatusTimer->thread() != QThread::currentThread())
        discardCheckStatusTimer();
    if (!m_checkStatusTimer) {
        m_checkStatusTimer = std::make_unique<QTimer>();
        m_checkStatusTimer->setInterval(checkStatusIntervalMilliseconds);
        QObject::connect(m_checkStatusTimer.get(), &QTimer::timeout, m_checkStatusTimer.get(),
                         [this] { checkTaskStatus(); });
    }
    m_checkStatusTimer->start();
}

void RXPrivilegedTask::stopCheckingStatus() {
    // A timer can be stopped only on its own thread; elsewhere it stops itself on its next
    // tick, finding nothing to look at.
    if (m_checkStatusTimer && m_checkStatusTimer->thread() == QThread::currentThread())
        m_checkStatusTimer->stop();
}

// A timer of another thread can be deleted only there, and must not call back meanwhile.
void RXPrivilegedTask::discardCheckStatusTimer() {
    QObject::disconnect(m_checkStatusTimer.get(), nullptr, nullptr, nullptr);
    m_checkStatusTimer.release()->deleteLater();
}

void RXPrivilegedTask::checkTaskStatus() {
    std::unique_lock lock(m_mutex);
    if (!m_isRunning || m_waitingUntilExit) {
        stopCheckingStatus();
        return;
    }
    const Platform::Process::Exit exit = m_process->checkExit();
    if (exit == Platform::Process::Exit::Running)
        return;
    m_isRunning = false;
    m_terminationStatus = terminationStatusFor(*m_process, exit == Platform::Process::Exit::Ended);
    stopCheckingStatus();
    const TerminationHandler handler = m_terminationHandler;
    lock.unlock();

    Platform::NotificationCenter::shared().postNotification(didTerminateNotification, this);
    if (handler)
        handler(*this);
}

void RXPrivilegedTask::waitUntilExit() {
    std::unique_lock lock(m_mutex);
    if (!m_isRunning) {
        lock.unlock();
        Platform::Log::write(QStringLiteral("Task %1 is not running").arg(objectDescription()));
        return;
    }
    m_waitingUntilExit = true;
    stopCheckingStatus();
    Platform::Process* process = m_process.get();
    lock.unlock();

    const bool ended = process->waitUntilExit();
    lock.lock();
    m_terminationStatus = terminationStatusFor(*process, ended);
    m_isRunning = false;
    m_waitingUntilExit = false;
}

void RXPrivilegedTask::terminate() {}

QString RXPrivilegedTask::description() const {
    std::lock_guard lock(m_mutex);
    QString text = objectDescription() + QLatin1Char(' ') + orNull(m_launchPath);
    for (const QString& argument : m_arguments)
        text += QStringLiteral(" '") + argument + QLatin1Char('\'');
    return text + QStringLiteral(" (CWD:") + orNull(m_currentDirectoryPath) + QLatin1Char(')');
}

QString RXPrivilegedTask::objectDescription() const {
    return QStringLiteral("<RXPrivilegedTask: 0x%1>").arg(quintptr(this), 0, 16);
}
