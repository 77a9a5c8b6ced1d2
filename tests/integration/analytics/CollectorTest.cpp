#include "DevServer.h"
#include "LogCapture.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/URLSession.h"
#include "ReporterFixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The devserver's collector over HTTPS, fed by the reporter's real transports through the
// process-wide URL session, as in the installer.
class CollectorTest : public ReporterFixture {
protected:
    void SetUp() override {
        ReporterFixture::SetUp();
        DevServer::Options options;
        options.stateFolder = options.packageFolder = TestEnvironment::makeFolder("devserver");
        options.port = 0;
        server = std::make_unique<DevServer>(options);
        ASSERT_TRUE(server->start());
        Platform::URLSession::Configuration configuration;
        configuration.caFile = server->certificatePath();
        session.emplace(std::make_shared<Platform::URLSession>(configuration));
        root = QStringLiteral("https://127.0.0.1:%1/").arg(server->port());
        useCollector(root);
    }
    void useCollector(const QString& base) {
        QVariantMap settings = ga4Keys;
        settings.insert({{"AnalyticsBaseURL", base}, {"AnalyticsTrackerID", "UA-12345-67"}});
        writeSettings(settings);
    }
    void TearDown() override {
        server->stop();
        session.reset();
        ReporterFixture::TearDown();
    }
    QList<QJsonObject> recorded() const {
        QList<QJsonObject> entries;
        QFile hits(server->hitsPath());
        EXPECT_TRUE(hits.open(QIODevice::ReadOnly));
        for (const QByteArray& line : hits.readAll().split('\n'))
            if (!line.isEmpty())
                entries << QJsonDocument::fromJson(line).object();
        return entries;
    }

    std::unique_ptr<DevServer> server;
    std::optional<Platform::ScopedReplacement<Platform::URLSession>> session;
    QString root;
};

TEST_F(CollectorTest, BothKindsOfAnInstallationsEventsArriveValidInOrderAndBatched) {
    const QList<QStringList> events{
        {"Download_Number"},
        {"Download_Success"},
        {"Download_TimeInterval", "12.34"},
        {"Install_Fail", QStringLiteral("安装失败：拷贝应用程序包失败"), "/opt/My Apps/S.app"},
        {"Select_Install_Directory", "/opt/My Apps"},
        {"Error", "Error_TryAgain"},
        {"Install_Success"},
        {"Launch_Success", "/opt/Scribora.app"},
    };
    auto reporter = std::make_unique<TQGoogleReporter>();
    reporter->configure(TQGoogleReporter::configuredTrackerId());
    for (const QStringList& event : events)
        reporter->event(event.value(0), event.value(1, QString()), event.value(2, QString()));
    EXPECT_EQ(reporter->finishSending(20s), 0u);

    QStringList categories;
    QStringList names;
    QSet<int> requests;
    for (const QJsonObject& entry : recorded()) {
        if (entry["kind"] != "ga4") {
            EXPECT_EQ(entry["cid"].toString(), reporter->uniqueUserIdentifier());
            categories << entry["ec"].toString();
            continue;
        }
        EXPECT_FALSE(entry.contains("validationMessages"))
            << QJsonDocument(entry).toJson().constData();
        EXPECT_EQ(entry["client_id"].toString(), reporter->uniqueUserIdentifier());
        EXPECT_EQ(entry["user_agent"].toString(), reporter->userAgent());
        names << entry["name"].toString();
        requests << entry["request"].toInt();
    }
    QStringList sent;
    for (const QStringList& event : events)
        sent << event.first();
    EXPECT_EQ(categories, sent);
    sent[5] = "Error_TryAgain";
    EXPECT_EQ(names, sent);
    EXPECT_LT(requests.size(), names.size()) << "events share requests";
}

TEST_F(CollectorTest, ARefusedGa4RequestIsLoggedOnceAndNotRetried) {
    useCollector(root + "missing/");
    auto reporter = std::make_unique<TQGoogleReporter>();
    reporter->configure(TQGoogleReporter::configuredTrackerId());
    LogCapture log;
    for (int i = 0; i < 26; ++i)
        reporter->event("Download_Number", QString(), QString());
    EXPECT_EQ(reporter->finishSending(20s), 0u);
    EXPECT_EQ(log.lines(), QStringList{"GoogleReporter GA4 events dropped: The server answered "
                                       "with status 404 (later failures are not logged)"});
}

} // namespace
