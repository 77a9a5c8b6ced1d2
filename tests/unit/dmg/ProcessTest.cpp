#include "Platform/Process.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using Platform::Process;

Process* shell(Process& process, const QString& script) {
    process.setLaunchPath("/bin/sh");
    process.setArguments({"-c", script});
    return &process;
}

// Gone, or a zombie nobody in the test can reap.
bool hasEnded(const QByteArray& pid) {
    QFile stat("/proc/" + pid + "/stat");
    return !stat.open(QIODevice::ReadOnly) || stat.readAll().split(')').last().startsWith(" Z");
}

TEST(ProcessTest, InputIsFedAndOutputReadToItsEndBeforeTheExitStatus) {
    Process process;
    shell(process, "cat; pwd; printf 'to stderr' >&2; exit 3");
    process.setCurrentDirectoryPath("/");
    process.setStandardInput(Process::Stream::Pipe);
    process.setStandardOutput(Process::Stream::Pipe);
    process.setStandardError(Process::Stream::Pipe);
    ASSERT_TRUE(process.launch()) << process.errorString().toStdString();
    EXPECT_GT(process.processIdentifier(), 0);
    ASSERT_TRUE(process.writeToStandardInput("yes\n"));
    process.closeStandardInput();
    const auto output = process.readStandardOutputToEnd();
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(*output, QByteArray("yes\n/\n"));
    ASSERT_TRUE(process.waitUntilExit());
    EXPECT_EQ(process.terminationStatus(), 3);
    EXPECT_FALSE(process.terminatedBySignal());
    EXPECT_FALSE(process.isRunning());
}

TEST(ProcessTest, FailuresToStartAndBrokenPipesAreReportedNotRaised) {
    Process missing;
    missing.setLaunchPath("/nonexistent/hdiutil");
    missing.setStandardOutput(Process::Stream::Pipe);
    EXPECT_FALSE(missing.launch());
    EXPECT_TRUE(missing.errorString().contains("/nonexistent/hdiutil"));
    EXPECT_FALSE(missing.readStandardOutputToEnd().has_value());
    EXPECT_FALSE(missing.waitUntilExit());

    Process badDirectory;
    shell(badDirectory, "exit 0")->setCurrentDirectoryPath("/nonexistent-folder");
    EXPECT_FALSE(badDirectory.launch());

    // The program ends without reading: writing must fail with EPIPE, not kill the test.
    Process deaf;
    shell(deaf, "exec 0<&-; exit 0");
    deaf.setStandardInput(Process::Stream::Pipe);
    ASSERT_TRUE(deaf.launch());
    ASSERT_TRUE(deaf.waitUntilExit());
    EXPECT_FALSE(deaf.writeToStandardInput(QByteArray(1 << 20, 'y')));

    Process noPipe;
    shell(noPipe, "exit 0");
    ASSERT_TRUE(noPipe.launch());
    EXPECT_FALSE(noPipe.writeToStandardInput("yes\n"));
    EXPECT_FALSE(noPipe.readStandardOutputToEnd().has_value());
    ASSERT_TRUE(noPipe.waitUntilExit());
}

TEST(ProcessTest, AProgramLeftRunningIsNeverBlockedOnAPipeAndIsReapedWhenItEnds) {
    pid_t pid = 0;
    const QString marker = QDir::tempPath() + "/process-test-finished";
    {
        Process process;
        // Writes far more than a pipe holds into pipes nobody reads.
        shell(process, QString("head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2; "
                               "touch '%1'")
                           .arg(marker));
        process.setStandardOutput(Process::Stream::Pipe);
        process.setStandardError(Process::Stream::Pipe);
        ASSERT_TRUE(process.launch());
        pid = process.processIdentifier();
    }
    EXPECT_TRUE(waitFor([pid] { return ::kill(pid, 0) != 0; }))
        << "the program was neither finished nor reaped";
    EXPECT_TRUE(QFile::exists(marker));
}

TEST(ProcessTest, TerminateEndsTheGroupOrSessionTheProgramStarted) {
    const QString record = QDir::tempPath() + "/process-test-group";
    for (const bool session : {false, true}) {
        QFile::remove(record);
        Process process;
        // Records the background child and the session, then waits for the child.
        shell(process,
              "sleep 60 & echo $! $(cut -d' ' -f6 /proc/$$/stat) > '" + record + "'; wait");
        process.setStartsProcessGroup(!session);
        process.setStartsSession(session);
        ASSERT_TRUE(process.launch());
        QFile file(record);
        ASSERT_TRUE(waitFor([&] { return file.size() > 0; }));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = file.readAll().simplified().split(' ');
        EXPECT_EQ(words[1] == QByteArray::number(process.processIdentifier()), session);

        process.terminate();
        ASSERT_TRUE(process.waitUntilExit());
        EXPECT_TRUE(process.terminatedBySignal());
        EXPECT_EQ(process.terminationStatus(), SIGTERM);
        EXPECT_TRUE(waitFor([&] { return hasEnded(words[0]); })) << "session " << session;
    }
}

} // namespace
