#include "HttpsTestServer.h"
#include "LogCapture.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/URLSession.h"
#include "ReporterFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The scripted server plays the collector; the reporter sends through the process-wide URL
// session, as the installer does.
class CollectorTest : public ReporterFixture {
protected:
    void SetUp() override {
        ReporterFixture::SetUp();
        ASSERT_TRUE(server.isRunning());
        Platform::URLSession::Configuration configuration;
        configuration.caFile = server.certificatePath();
        session.emplace(std::make_shared<Platform::URLSession>(configuration));
        useCollector(server.url("/").toString());
    }
    void TearDown() override {
        session.reset();
        ReporterFixture::TearDown();
    }

    void useCollector(const QString& root) { writeSettings({{"AnalyticsBaseURL", root}}); }
    void answerHits() {
        server.handle("/collect",
                      [](const HttpsTestServer::Request&) { return HttpsTestServer::Reply{}; });
    }
    std::unique_ptr<TQGoogleReporter>
    makeSendingReporter(const QString& trackerId = "UA-12345-67") {
        auto reporter = std::make_unique<TQGoogleReporter>();
        if (!trackerId.isNull())
            reporter->configure(trackerId);
        return reporter;
    }
    // The pairs of each hit the collector received, in order.
    QList<QMap<QString, QString>> receivedHits() const {
        QList<QMap<QString, QString>> hits;
        for (const HttpsTestServer::Request& request : server.requests("/collect"))
            hits << hitPairs(QUrl("https://collector.test/collect?" + request.query));
        return hits;
    }

    HttpsTestServer server;
    std::optional<Platform::ScopedReplacement<Platform::URLSession>> session;
};

// A loopback port where nothing listens.
int closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

TEST_F(CollectorTest, HitsArriveWithEveryPairIntact) {
    answerHits();
    server.expect("/collect", 4);
    auto reporter = makeSendingReporter();
    const QString path = "/home/user/My Apps/Scribora.app";
    const QString chinese = QStringLiteral("安装失败：压缩包下载失败");
    const QString awkward = QStringLiteral("50% & a=b #1 ?x+y\n\U0001F600");

    reporter->event("Download_Number", QString(), QString());
    reporter->event("Install_Fail", chinese, path);
    reporter->event("Error", awkward, QString(8192, 'L'));
    reporter->event("Quit", "Quit_Quit", QString(), {{"t", "pageview"}, {"tid", "UA-99999-01"}});
    EXPECT_EQ(reporter->finishSending(20s), 0u);
    EXPECT_EQ(server.problems(), QStringList());

    const QList<QMap<QString, QString>> hits = receivedHits();
    ASSERT_EQ(hits.size(), 4);
    EXPECT_EQ(hits[0].keys(), (QStringList{"aid", "aip", "an", "av", "cid", "ec", "sr", "t", "tid",
                                           "ua", "ul", "v"}));
    EXPECT_EQ(hits[0]["ec"], "Download_Number");
    EXPECT_EQ(hits[0]["ua"], reporter->userAgent());
    EXPECT_EQ(hits[1]["ea"], chinese);
    EXPECT_EQ(hits[1]["el"], path);
    EXPECT_TRUE(server.requests("/collect")[1].query.contains("el=/home/user/My%20Apps/"));
    EXPECT_EQ(hits[2]["ea"], awkward);
    EXPECT_EQ(hits[2]["el"], QString(2048, 'L')) << "cut so that the collector takes the hit";
    EXPECT_EQ(hits[3]["t"], "pageview");
    EXPECT_EQ(hits[3]["tid"], "UA-99999-01");
    for (const HttpsTestServer::Request& request : server.requests("/collect"))
        EXPECT_EQ(request.method, "GET");
}

TEST_F(CollectorTest, NoTrackerOrAMarkerAtStartMeansNoRequest) {
    answerHits();
    server.expect("/collect", 0);
    {
        LogCapture log;
        auto unconfigured = makeSendingReporter(QString());
        unconfigured->event("Download_Number", QString(), QString());
        EXPECT_EQ(unconfigured->finishSending(5s), 0u);
        EXPECT_EQ(log.lines(), (QStringList{"GoogleReporter event ignored.",
                                            "You must set your tracker ID UA-XXXXX-XX with "
                                            "GoogleReporter.configure()"}));
    }
    makeSendingReporter()->createWrapperTag();
    LogCapture log;
    auto disabled = makeSendingReporter();
    disabled->event("Download_Number", QString(), QString());
    EXPECT_EQ(disabled->finishSending(5s), 0u);
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(server.problems(), QStringList());
}

TEST_F(CollectorTest, TheClientIdLastsAndTheMarkerQuietsOnlyLaterRuns) {
    answerHits();
    server.expect("/collect", 3);
    auto first = makeSendingReporter();
    first->event("Download_Number", QString(), QString());
    EXPECT_EQ(first->finishSending(10s), 0u);

    auto second = makeSendingReporter();
    second->event("Download_Success", QString(), QString());
    second->createWrapperTag();
    second->event("Launch_Success", "/home/user/Applications/Scribora.app", QString());
    EXPECT_EQ(second->finishSending(10s), 0u);

    auto third = makeSendingReporter();
    third->event("Download_Number", QString(), QString());
    EXPECT_EQ(third->finishSending(10s), 0u);

    EXPECT_EQ(server.problems(), QStringList());
    const QList<QMap<QString, QString>> hits = receivedHits();
    ASSERT_EQ(hits.size(), 3);
    EXPECT_EQ(hits[1]["cid"], hits[0]["cid"]);
    EXPECT_EQ(hits[2]["ec"], "Launch_Success");
}

TEST_F(CollectorTest, ServerErrorsAreIgnoredAndADeadCollectorIsLogged) {
    server.respond("/collect", 500, "broken");
    server.expect("/collect", 1);
    LogCapture log;
    auto reporter = makeSendingReporter();
    reporter->event("Download_Number", QString(), QString());
    EXPECT_EQ(reporter->finishSending(10s), 0u);
    EXPECT_EQ(server.problems(), QStringList());
    EXPECT_TRUE(log.lines().isEmpty()) << qPrintable(log.lines().join('\n'));

    useCollector(QStringLiteral("https://127.0.0.1:%1/").arg(closedPort()));
    auto dead = makeSendingReporter();
    dead->event("Download_Number", QString(), QString());
    EXPECT_EQ(dead->finishSending(10s), 0u);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_FALSE(log.lines().first().isEmpty());
}

TEST_F(CollectorTest, AStalledCollectorIsBoundedAndTheExitFlushGivesUp) {
    server.serveBytes("/collect", "ok");
    server.stallAfterHeaders("/collect", 1);
    auto reporter = makeSendingReporter();
    reporter->event("Stalled", QString(), QString());
    ASSERT_TRUE(server.waitForRequests("/collect", 1, 10s));

    LogCapture log;
    for (int i = 0; i < 300; ++i)
        reporter->event("Queued", QString::number(i), QString());
    EXPECT_EQ(log.lines().size(), 300 - 256);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(reporter->finishSending(200ms), 257u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the flush gave up";
    EXPECT_EQ(server.requests("/collect").size(), 1u);
}

} // namespace
