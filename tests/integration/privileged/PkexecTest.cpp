#include "Platform/Authorization.h"
#include "Platform/ScopedReplacement.h"
#include "RXPrivilegedTask/RXPrivilegedTask.h"
#include "SystemBus.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <iostream>

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
    std::cout << "pkexec " << tool.toStdString() << ": launch " << outcome.launchStatus
              << ", termination status " << outcome.terminationStatus << std::endl;
    return outcome;
}

void writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    file.setPermissions(permissions);
}

TEST(PkexecTest, RealPkexecCopiesABundleAsRoot) {
    const QString pkexec = Authorization::shared().elevationProgram();
    if (pkexec.isEmpty())
        GTEST_SKIP() << "pkexec is not installed";
    const SystemBus bus;
    if (!bus.unavailableReason().isEmpty())
        GTEST_SKIP() << "no system bus for polkit: " << bus.unavailableReason().toStdString();
    // Through pkexec even as root: root is authorized without a prompt.
    const Platform::ScopedReplacement<Authorization> throughPkexec(
        std::make_shared<Authorization>(pkexec, false));

    const QString source = TestEnvironment::makeFolder(QStringLiteral("source")) + "/A.app";
    const QString destination = TestEnvironment::makeFolder(QStringLiteral("dest")) + "/A.app";
    ASSERT_TRUE(QDir().mkpath(source + "/Contents/Linux"));
    writeFile(source + "/Contents/Linux/A", "#!/bin/sh\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                  QFile::ExeGroup);
    ASSERT_TRUE(QFile::link("Linux/A", source + "/Contents/Program"));

    const Outcome copy = runThroughPkexec("/bin/cp", {"-a", source, destination}, "/");
    EXPECT_EQ(copy.launchStatus, 0);
    EXPECT_EQ(copy.terminationStatus, 0);
    const QFileInfo program(destination + "/Contents/Linux/A");
    EXPECT_TRUE(program.isExecutable());
    EXPECT_EQ(program.permissions(), QFileInfo(source + "/Contents/Linux/A").permissions());
    EXPECT_EQ(QFileInfo(destination + "/Contents/Program").symLinkTarget(),
              program.absoluteFilePath());

    const QString folder = TestEnvironment::makeFolder(QStringLiteral("cwd"));
    const Outcome directory = runThroughPkexec("/bin/pwd", {}, folder);
    EXPECT_EQ(directory.output.trimmed(), QFileInfo(folder).canonicalFilePath().toUtf8());

    EXPECT_EQ(runThroughPkexec("/bin/sh", {"-c", "exit 3"}, "/").terminationStatus, 3);
    EXPECT_EQ(runThroughPkexec("/no/such/tool", {}, "/").terminationStatus, 127);
}

} // namespace
