#include "Platform/Authorization.h"
#include "Platform/ScopedReplacement.h"
#include "RXPrivilegedTask/RXPrivilegedTask.h"
#include "SystemBus.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using Platform::Authorization;

// Waits for the task like waitUntilExit, but ends a child that hangs (a prompt nobody can
// answer) instead of hanging the test.
bool endsWithin(RXPrivilegedTask& task, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (task.isRunning() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    if (!task.isRunning())
        return true;
    kill(task.processIdentifier(), SIGKILL);
    task.waitUntilExit();
    return false;
}

struct Outcome {
    int32_t launchStatus = 0;
    int32_t terminationStatus = 0;
    QByteArray output;
};

Outcome runThroughPkexec(const QString& tool, const QStringList& arguments,
                         const QString& directory) {
    RXPrivilegedTask task(tool, arguments, directory);
    Outcome outcome;
    outcome.launchStatus = task.launch();
    if (outcome.launchStatus != 0)
        return outcome;
    EXPECT_TRUE(endsWithin(task, 60000)) << "pkexec " << tool.toStdString() << " hung";
    outcome.terminationStatus = task.terminationStatus();
    outcome.output = task.outputFileHandle()->readAll();
    return outcome;
}

TEST(PkexecTest, RealPkexecRunsTheToolAsRootInItsFolder) {
    const QString pkexec = Authorization::shared().elevationProgram();
    if (pkexec.isEmpty())
        GTEST_SKIP() << "pkexec is not installed";
    const SystemBus bus;
    if (!bus.unavailableReason().isEmpty())
        GTEST_SKIP() << "no system bus for polkit: " << bus.unavailableReason().toStdString();
    // Through pkexec even as root: root is authorized without a prompt.
    const Platform::ScopedReplacement<Authorization> throughPkexec(
        std::make_shared<Authorization>(pkexec, false));

    const QString folder = TestEnvironment::makeFolder(QStringLiteral("it's a $(folder)"));
    const Outcome run = runThroughPkexec("/bin/sh", {"-c", "id -u; pwd; exit 3"}, folder);
    EXPECT_EQ(run.launchStatus, 0);
    EXPECT_EQ(run.terminationStatus, 3);
    EXPECT_EQ(run.output, "0\n" + QFileInfo(folder).canonicalFilePath().toUtf8() + "\n");
    EXPECT_EQ(runThroughPkexec("/no/such/tool", {}, "/").terminationStatus, 127);
}

} // namespace
