#include "HttpsTestServer.h"
#include "ReporterFixture.h"

#include "Platform/Process.h"

#include <QElapsedTimer>
#include <QFile>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The installer's own exit: the shared reporter flushes when the application object goes.
class ExitFlushTest : public ReporterFixture {
protected:
    void SetUp() override {
        ReporterFixture::SetUp();
        ASSERT_TRUE(server.isRunning());
        writeSettings({{"AnalyticsBaseURL", server.url("/").toString()}});
    }

    // Runs the program to its end; returns its log lines.
    QString runInstaller(int events, qint64* milliseconds) {
        qputenv("CURL_CA_BUNDLE", QFile::encodeName(server.certificatePath()));
        Platform::Process program;
        program.setLaunchPath(TQ_ANALYTICS_EXIT_RUN);
        program.setArguments({bundlePath, QString::number(events)});
        program.setStandardOutput(Platform::Process::Stream::Pipe);
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(program.launch()) << qPrintable(program.errorString());
        const QByteArray lines = program.readStandardOutputToEnd().value_or(QByteArray());
        program.waitUntilExit();
        *milliseconds = timer.elapsed();
        qunsetenv("CURL_CA_BUNDLE");
        EXPECT_FALSE(program.terminatedBySignal());
        EXPECT_EQ(program.terminationStatus(), 0);
        return QString::fromUtf8(lines);
    }

    HttpsTestServer server;
};

TEST_F(ExitFlushTest, TheLastHitsOfARunGoOutAfterMainReturns) {
    server.handle("/collect", [](const HttpsTestServer::Request&) {
        std::this_thread::sleep_for(150ms);
        return HttpsTestServer::Reply{};
    });
    server.expect("/collect", 3);
    qint64 elapsed = 0;
    const QString errors = runInstaller(3, &elapsed);
    EXPECT_EQ(server.problems(), QStringList()) << qPrintable(errors);
    EXPECT_FALSE(errors.contains("not sent")) << qPrintable(errors);
}

TEST_F(ExitFlushTest, AStalledCollectorDoesNotHoldTheQuitForLong) {
    server.serveBytes("/collect", "ok");
    server.stallAfterHeaders("/collect", 1);
    server.expect("/collect", 1);
    qint64 elapsed = 0;
    const QString errors = runInstaller(2, &elapsed);
    EXPECT_TRUE(errors.contains("GoogleReporter: 2 hits not sent at exit")) << qPrintable(errors);
    // Two seconds of flush, about one for the session to break the transfer off; far from
    // the minute a stalled transfer would otherwise take.
    EXPECT_LT(elapsed, 15000);
    EXPECT_EQ(server.problems(), QStringList());
}

} // namespace
