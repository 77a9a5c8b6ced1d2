#include "RXPrivilegedTask/RXPrivilegedTask.h"

#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <sys/wait.h>

namespace {

const QString didTerminateNotification = QStringLiteral("RXPrivilegedTaskDidTerminateNotification");
constexpr int checkStatusIntervalMilliseconds = 50;

// The shell's convention: a killed child reads 128 + its signal, never 0.
int32_t terminationStatusFor(pid_t waitResult, int waitStatus) {
    if (waitResult == -1) {
        Platform::Log::write(QStringLiteral("waitpid: %1").arg(qt_error_string(errno)));
        return -1;
    }
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return WEXITSTATUS(waitStatus);
}

pid_t waitForChild(pid_t pid, int* waitStatus, int options) {
    pid_t result = 0;
    do
        result = waitpid(pid, waitStatus, options);
    while (result == -1 && errno == EINTR);
    return result;
}

QString orNull(const QString& text) {
    return text.isNull() ? QStringLiteral("(null)") : text;
}

void freeAuthorization(Platform::AuthorizationRef authorization) {
    Platform::Authorization::shared().free(authorization, Platform::kAuthorizationFlagDefaults);
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
    Platform::AuthorizationRef authorization) {
    auto task = std::make_unique<RXPrivilegedTask>(launchPath, arguments, currentDirectory);
    task->launchWithAuthorization(authorization);
    task->waitUntilExit();
    return task;
}

bool RXPrivilegedTask::authorizationFunctionAvailable() {
    return Platform::Authorization::shared().executeWithPrivilegesAvailable();
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

int32_t RXPrivilegedTask::launch() {
    int32_t status = Platform::errAuthorizationSuccess;
    if (refusedBeforeAuthorizing(&status))
        return status;

    Platform::Authorization& service = Platform::Authorization::shared();
    const Platform::AuthorizationRights rights{
        {Platform::kAuthorizationRightExecute, QFile::encodeName(launchPath()), 0}};
    Platform::AuthorizationRef authorization = nullptr;
    status = service.create(nullptr, Platform::kAuthorizationFlagDefaults, &authorization);
    if (status != Platform::errAuthorizationSuccess)
        return status;
    const std::unique_ptr<Platform::AuthorizationOpaqueRef, decltype(&freeAuthorization)> owner(
        authorization, &freeAuthorization);

    status = service.copyRights(authorization, rights,
                                Platform::kAuthorizationFlagInteractionAllowed |
                                    Platform::kAuthorizationFlagExtendRights |
                                    Platform::kAuthorizationFlagPreAuthorize);
    if (status != Platform::errAuthorizationSuccess)
        return status;
    return launchWithAuthorization(authorization);
}

int32_t RXPrivilegedTask::launchWithAuthorization(Platform::AuthorizationRef authorization) {
    int32_t status = Platform::errAuthorizationSuccess;
    if (refusedBeforeAuthorizing(&status))
        return status;

    QByteArrayList argumentVector;
    for (const QString& argument : arguments())
        argumentVector << QFile::encodeName(argument);
    Platform::PrivilegedChild child;
    status = Platform::Authorization::shared().executeWithPrivileges(
        authorization, QFile::encodeName(launchPath()), Platform::kAuthorizationFlagDefaults,
        argumentVector, QFile::encodeName(currentDirectoryPath()), &child);
    if (status != Platform::errAuthorizationSuccess)
        return status;

    std::lock_guard lock(m_mutex);
    m_isRunning = true;
    m_outputFileHandle = std::move(child.output);
    m_processIdentifier = child.processIdentifier;
    startCheckingStatus();
    return status;
}

bool RXPrivilegedTask::refusedBeforeAuthorizing(int32_t* status) const {
    if (isRunning()) {
        Platform::Log::write(QStringLiteral("Task already running: ") + description());
        *status = Platform::errAuthorizationSuccess;
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
        *status = Platform::errAuthorizationToolExecuteFailure;
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
    int waitStatus = 0;
    const pid_t result = waitForChild(m_processIdentifier, &waitStatus, WNOHANG);
    if (result == 0)
        return;
    m_isRunning = false;
    m_terminationStatus = terminationStatusFor(result, waitStatus);
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
    const pid_t pid = m_processIdentifier;
    lock.unlock();

    int waitStatus = 0;
    const pid_t result = waitForChild(pid, &waitStatus, 0);
    lock.lock();
    m_terminationStatus = terminationStatusFor(result, waitStatus);
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
