#include "HttpsTestServer.h"
#include "ReporterFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The installer's own exit: the shared reporter flushes when the application object goes.
class ExitFlushTest : public ReporterFixture {
protected:
    void SetUp() override {
        ReporterFixture::SetUp();
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "TLS transfers confuse ThreadSanitizer here (see CollectorTest)";
#endif
        ASSERT_TRUE(server.isRunning());
        writeSettings({{"AnalyticsBaseURL", server.url("/").toString()}});
    }

    // Runs the program to its end; returns its standard error.
    QString runInstaller(int events, qint64* milliseconds) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CURL_CA_BUNDLE", server.certificatePath());
        program.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        program.start(TQ_ANALYTICS_EXIT_RUN, {bundlePath, QString::number(events)});
        EXPECT_TRUE(program.waitForFinished(30000));
        *milliseconds = timer.elapsed();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        return QString::fromUtf8(program.readAllStandardError());
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
