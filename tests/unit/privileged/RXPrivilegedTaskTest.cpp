#include "RXPrivilegedTask/RXPrivilegedTask.h"
#include "ElevationStandIn.h"
#include "LogCapture.h"
#include "Platform/Authorization.h"
#include "Platform/NotificationCenter.h"
#include "Platform/ScopedReplacement.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Platform::Authorization;
using Platform::NotificationCenter;
using Platform::ScopedReplacement;

const QString didTerminate = QStringLiteral("RXPrivilegedTaskDidTerminateNotification");

QByteArray output(const RXPrivilegedTask& task) {
    const std::shared_ptr<QFile> handle = task.outputFileHandle();
    return handle ? handle->readAll() : QByteArray();
}

QString objectDescription(const RXPrivilegedTask& task) {
    return QStringLiteral("<RXPrivilegedTask: 0x%1>").arg(quintptr(&task), 0, 16);
}

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

// Records the notifications and handler calls of one task, and on which thread they came.
class EndRecorder {
public:
    explicit EndRecorder(RXPrivilegedTask& task) : m_task(task) {
        m_token = NotificationCenter::shared().addObserver(
            didTerminate, [this](const Platform::Notification& notification) {
                if (notification.object != &m_task)
                    return;
                events << QStringLiteral("notification running=%1").arg(m_task.isRunning());
                onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            });
        task.setTerminationHandler([this](RXPrivilegedTask& ended) {
            events << QStringLiteral("handler status=%1").arg(ended.terminationStatus());
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        });
    }
    ~EndRecorder() { NotificationCenter::shared().removeObserver(m_token); }

    QStringList events;
    bool onMainThread = true;

private:
    RXPrivilegedTask& m_task;
    NotificationCenter::ObserverToken m_token = 0;
};

// Neither pkexec nor root (empty program), or root.
std::shared_ptr<Authorization> runningAs(bool root) {
    return std::make_shared<Authorization>(QString(), root);
}

class PrivilegedTaskTest : public testing::Test {
protected:
    LogCapture log;
    const QString folder = TestEnvironment::makeFolder(QStringLiteral("task"));
};

TEST_F(PrivilegedTaskTest, ToolRunsThroughTheElevationProgramWithItsOutputAndExitStatus) {
    // Releases before 121 know no --keep-cwd and refuse it.
    for (const QString release : {"122", "0.105"}) {
        ElevationStandIn standIn(ElevationStandIn::Behaviour::RunTool, release);
        RXPrivilegedTask task(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"), QStringLiteral("echo out; id -u; exit 3")});
        EXPECT_TRUE(RXPrivilegedTask::authorizationFunctionAvailable());
        ASSERT_EQ(task.launch(), 0);
        EXPECT_TRUE(task.isRunning());
        EXPECT_GT(task.processIdentifier(), 0);
        task.waitUntilExit();
        EXPECT_FALSE(task.isRunning());
        EXPECT_EQ(task.terminationStatus(), 3) << "pkexec " << release.toStdString();
        EXPECT_EQ(output(task), "out\n" + QByteArray::number(geteuid()) + "\n");
        EXPECT_EQ(standIn.timesStarted(), 1);
        EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
    }
}

TEST_F(PrivilegedTaskTest, DismissedAndRefusedPromptsArriveAsTerminationStatusWithoutTheTool) {
    const QString marker = folder + QStringLiteral("/ran");
    const QStringList touch = {marker};
    for (const auto& [behaviour, status] : {std::pair{ElevationStandIn::Behaviour::Dismiss, 126},
                                            std::pair{ElevationStandIn::Behaviour::Refuse, 127}}) {
        ElevationStandIn standIn(behaviour);
        RXPrivilegedTask task(QStringLiteral("/usr/bin/touch"), touch);
        ASSERT_EQ(task.launch(), 0);
        task.waitUntilExit();
        EXPECT_EQ(task.terminationStatus(), status);
        EXPECT_FALSE(QFile::exists(marker));
        EXPECT_EQ(standIn.timesStarted(), 1);
    }
}

TEST_F(PrivilegedTaskTest, WithNeitherRootNorElevationProgramNothingIsStarted) {
    ElevationStandIn standIn;
    const ScopedReplacement<Authorization> neither(runningAs(false));
    EXPECT_FALSE(RXPrivilegedTask::authorizationFunctionAvailable());

    RXPrivilegedTask task(QStringLiteral("/bin/true"));
    EXPECT_EQ(task.launch(), -70001);
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(task.outputFileHandle(), nullptr);
    task.waitUntilExit();
    EXPECT_EQ(log.lines(),
              QStringList({"AuthorizationExecuteWithPrivileges() function not available on "
                           "this system",
                           "Task " + objectDescription(task) + " is not running"}));
    EXPECT_EQ(standIn.timesStarted(), 0);
}

TEST_F(PrivilegedTaskTest, TheEndIsNotifiedThenHandledOnTheLaunchingThreadsEventLoop) {
    ElevationStandIn standIn;
    RXPrivilegedTask task(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("exit 4")});
    EndRecorder recorder(task);
    ASSERT_EQ(task.launch(), 0);

    // The child ends now, but only the event loop looks at it.
    QThread::msleep(300);
    EXPECT_TRUE(task.isRunning());
    EXPECT_TRUE(recorder.events.isEmpty());

    ASSERT_TRUE(waitFor([&] { return recorder.events.size() == 2; }, 5000));
    EXPECT_EQ(recorder.events, QStringList({"notification running=0", "handler status=4"}));
    EXPECT_TRUE(recorder.onMainThread);
    EXPECT_FALSE(task.isRunning());
    (void)waitFor([] { return false; }, 200);
    EXPECT_EQ(recorder.events.size(), 2);
}

TEST_F(PrivilegedTaskTest, AChildKilledByASignalDoesNotReadAsSuccess) {
    ElevationStandIn standIn;
    RXPrivilegedTask waited(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("kill -KILL $$")});
    ASSERT_EQ(waited.launch(), 0);
    waited.waitUntilExit();
    EXPECT_EQ(waited.terminationStatus(), 128 + SIGKILL);

    RXPrivilegedTask polled(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("kill -TERM $$")});
    EndRecorder recorder(polled);
    ASSERT_EQ(polled.launch(), 0);
    ASSERT_TRUE(waitFor([&] { return !polled.isRunning(); }, 5000));
    EXPECT_EQ(polled.terminationStatus(), 128 + SIGTERM);
}

TEST_F(PrivilegedTaskTest, TheChildRunsInTheTaskDirectoryAndTheProcessStaysWhereItWas) {
    ElevationStandIn standIn;
    const QString previous = QDir::currentPath();
    const QString atCreation = folder + QStringLiteral("/at creation");
    const QString atLaunch = folder + QStringLiteral("/at launch");
    const QString chosen = folder + QStringLiteral("/it's $(chosen)");
    for (const QString& each : {atCreation, atLaunch, chosen})
        ASSERT_TRUE(QDir().mkpath(each));

    ASSERT_TRUE(QDir::setCurrent(atCreation));
    RXPrivilegedTask fromInit(QStringLiteral("/bin/pwd"));
    ASSERT_TRUE(QDir::setCurrent(atLaunch));
    ASSERT_EQ(fromInit.launch(), 0);
    EXPECT_EQ(canonical(QDir::currentPath()), canonical(atLaunch));
    fromInit.waitUntilExit();
    EXPECT_EQ(output(fromInit).trimmed(), canonical(atCreation).toUtf8());

    RXPrivilegedTask given(QStringLiteral("/bin/pwd"), {}, chosen);
    ASSERT_EQ(given.launch(), 0);
    given.waitUntilExit();
    EXPECT_EQ(output(given).trimmed(), canonical(chosen).toUtf8());

    RXPrivilegedTask missing(QStringLiteral("/bin/pwd"), {}, folder + QStringLiteral("/gone"));
    EXPECT_NE(missing.launch(), 0);
    EXPECT_FALSE(missing.isRunning());
    EXPECT_EQ(standIn.timesStarted(), 2);
    EXPECT_EQ(canonical(QDir::currentPath()), canonical(atLaunch));
    QDir::setCurrent(previous);
}

TEST_F(PrivilegedTaskTest, NastyArgumentsReachTheToolUnchanged) {
    const QStringList nasty = {QStringLiteral("with blank"),
                               QStringLiteral("it's \"quoted\""),
                               QStringLiteral("$(touch made-by-dollar)"),
                               QStringLiteral("`touch made-by-backquote`"),
                               QStringLiteral("line\nbreak"),
                               QStringLiteral("-leading-dash"),
                               QStringLiteral("--"),
                               QString(""),
                               QStringLiteral("*"),
                               QStringLiteral("; touch made-by-semicolon"),
                               QStringLiteral("$HOME \\ %s")};
    for (const bool asRoot : {false, true}) {
        ElevationStandIn standIn;
        const ScopedReplacement<Authorization> authorization(
            std::make_shared<Authorization>(standIn.programPath(), asRoot));
        RXPrivilegedTask task(QStringLiteral("/usr/bin/printf"),
                              QStringList{QStringLiteral("%s\\0")} + nasty, folder);
        ASSERT_EQ(task.launch(), 0);
        task.waitUntilExit();
        EXPECT_EQ(task.terminationStatus(), 0);
        QList<QByteArray> words = output(task).split('\0');
        ASSERT_EQ(words.takeLast(), "");
        QStringList received;
        for (const QByteArray& word : words)
            received << QString::fromUtf8(word);
        EXPECT_EQ(received, nasty) << "as root: " << asRoot;
        EXPECT_EQ(standIn.timesStarted(), asRoot ? 0 : 1);
        EXPECT_EQ(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
}

TEST_F(PrivilegedTaskTest, AMissingToolOrARelativeLaunchPathIsAClearFailure) {
    ElevationStandIn standIn;
    RXPrivilegedTask missing(QStringLiteral("/no/such/tool"));
    ASSERT_EQ(missing.launch(), 0);
    missing.waitUntilExit();
    EXPECT_EQ(missing.terminationStatus(), 127);

    {
        const ScopedReplacement<Authorization> asRoot(runningAs(true));
        RXPrivilegedTask missingAsRoot(QStringLiteral("/no/such/tool"));
        EXPECT_EQ(missingAsRoot.launch(), RXPrivilegedTask::errToolExecuteFailure);
        EXPECT_FALSE(missingAsRoot.isRunning());
        EXPECT_EQ(missingAsRoot.outputFileHandle(), nullptr);
    }
    log.clear();
    RXPrivilegedTask relative(QStringLiteral("bin/true"));
    RXPrivilegedTask none;
    for (RXPrivilegedTask* task : {&relative, &none}) {
        EXPECT_NE(task->launch(), 0);
        EXPECT_FALSE(task->isRunning());
        EXPECT_TRUE(log.contains("Launch path is not absolute: " + task->description()));
    }
    EXPECT_EQ(standIn.timesStarted(), 1);
}

} // namespace
