#include "GoogleReporter/TQHitSender.h"
#include "LogCapture.h"
#include "Platform/SearchPaths.h"
#include "Platform/UserDefaults.h"
#include "ReporterFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const QString identifierKey = QStringLiteral("co.quintrel.GoogleReporter.uniqueUserIdentifier");

class ReporterStateTest : public ReporterFixture {
protected:
    QString supportFolder() const {
        return Platform::SearchPaths::shared().applicationSupportDirectory();
    }
    QString markerPath() const { return supportFolder() + "/" + identifier + "/.GoogleReporter"; }
};

// Application support that the lookup cannot find.
class NoSupportFolder : public Platform::SearchPaths {
public:
    QString applicationSupportDirectory() const override { return QString(); }
};

TEST_F(ReporterStateTest, TheClientIdIsMadeOnceAndReusedByTheNextRun) {
    const QString first = makeReporter()->uniqueUserIdentifier();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(first)
                    .hasMatch())
        << qPrintable(first);
    EXPECT_EQ(Platform::UserDefaults::standard().stringForKey(identifierKey), first);
    EXPECT_EQ(makeReporter()->uniqueUserIdentifier(), first);

    ASSERT_TRUE(Platform::UserDefaults::standard().setString(identifierKey, ""));
    const QString replaced = makeReporter()->uniqueUserIdentifier();
    EXPECT_NE(replaced, first) << "an empty stored ID counts as none";
    EXPECT_EQ(replaced.size(), 36);
}

TEST_F(ReporterStateTest, AnUnwritableDefaultsFileStillGivesThisRunAClientId) {
    // A folder where the defaults file belongs cannot be written, not even by root.
    ASSERT_TRUE(QDir().mkpath(Platform::UserDefaults::standard().filePath()));
    LogCapture log;
    auto reporter = makeReporter();
    const QString identifierOfThisRun = reporter->uniqueUserIdentifier();
    EXPECT_EQ(identifierOfThisRun.size(), 36);
    EXPECT_EQ(log.lines().size(), 1) << qPrintable(log.lines().join('\n'));

    reporter->event("Download_Number", QString(), QString());
    ASSERT_TRUE(transport->waitForHits(1));
    EXPECT_EQ(hitPairs(transport->hits().first())["cid"], identifierOfThisRun);
}

TEST_F(ReporterStateTest, AReporterMadeWhileTheMarkerExistsSendsAndLogsNothing) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(markerPath()).path()));
    ASSERT_TRUE(QFile(markerPath()).open(QIODevice::WriteOnly));
    auto reporter = makeReporter(QString());
    EXPECT_FALSE(reporter->isEnabled());

    LogCapture log;
    reporter->event("Download_Number", QString(), QString());
    reporter->configure("UA-12345-67");
    reporter->event("Download_Number", QString(), QString());
    reporter->session(true);
    EXPECT_EQ(reporter->finishSending(1s), 0u);
    EXPECT_TRUE(transport->hits().isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ReporterStateTest, TheMarkerIsAnEmptyFileWrittenOnceThatQuietsOnlyTheNextRun) {
    auto reporter = makeReporter();
    EXPECT_TRUE(reporter->isEnabled());
    EXPECT_FALSE(reporter->checkWrapperTag());
    reporter->createWrapperTag();
    ASSERT_TRUE(reporter->checkWrapperTag());
    const QFileInfo marker(markerPath());
    ASSERT_TRUE(marker.isFile());
    EXPECT_EQ(marker.size(), 0);
    const QDateTime written = marker.lastModified();
    LogCapture log;
    reporter->createWrapperTag();
    EXPECT_EQ(QFileInfo(markerPath()).lastModified(), written);
    EXPECT_TRUE(log.lines().isEmpty());

    reporter->event("Launch_Success", "/home/user/Applications/Scribora.app", QString());
    ASSERT_TRUE(transport->waitForHits(1));
    EXPECT_EQ(hitPairs(transport->hits().first())["ec"], "Launch_Success");
    EXPECT_FALSE(makeReporter()->isEnabled()) << "the next run is quiet";
}

TEST_F(ReporterStateTest, NoSupportFolderOrNoUsableIdentifierMeansNoMarker) {
    auto reporter = makeReporter();
    {
        const Platform::ScopedReplacement<Platform::SearchPaths> noSupportFolder(
            std::make_shared<NoSupportFolder>());
        reporter->createWrapperTag();
        EXPECT_FALSE(reporter->checkWrapperTag());
    }

    for (const char* bad : {"", "..", "a/../../b"}) {
        identifier = bad;
        writeSettings({});
        reporter->createWrapperTag();
        EXPECT_FALSE(reporter->checkWrapperTag()) << bad;
    }
    EXPECT_FALSE(QFileInfo::exists(supportFolder() + "/.GoogleReporter"));
    EXPECT_FALSE(QFileInfo::exists(supportFolder() + "/../b"));
}

TEST_F(ReporterStateTest, HitsFromManyThreadsAllArriveWhileTheConfigurationChanges) {
    auto reporter = makeReporter();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&reporter, t] {
            for (int i = 0; i < 40; ++i)
                reporter->event("Thread", QString::number(t), QString::number(i));
        });
    for (int i = 0; i < 40; ++i) {
        reporter->setCustomDimensionArguments({QString::number(i)});
        reporter->setQuietMode(i % 2 == 0);
        (void)reporter->customDimensionArguments();
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(reporter->finishSending(10s), 0u);
    EXPECT_EQ(transport->hits().size(), 160);
}

TEST_F(ReporterStateTest, Ga4EventsGoInOrderInBatchesOfAtMost25WithTheClassicClientId) {
    writeSettings(ga4Keys);
    transport->setStalled(true);
    auto reporter = makeReporter();
    for (int i = 0; i < 30; ++i)
        reporter->event("Queued", QString::number(i), QString());
    ASSERT_TRUE(transport->waitForHits(1));
    transport->setStalled(false);
    ASSERT_TRUE(transport->waitForPosts(2)) << "the last five go a second later, not at exit";
    EXPECT_EQ(reporter->finishSending(10s), 0u);

    QStringList actions;
    QList<qsizetype> sizes;
    for (const QByteArray& body : transport->posts()) {
        const QJsonObject request = QJsonDocument::fromJson(body).object();
        EXPECT_EQ(request["client_id"].toString(), reporter->uniqueUserIdentifier());
        sizes << request["events"].toArray().size();
        for (const QJsonValue& event : request["events"].toArray())
            actions << event["params"]["event_action"].toString();
    }
    EXPECT_EQ(sizes, (QList<qsizetype>{25, 5}));
    EXPECT_EQ(actions.size(), 30);
    for (qsizetype i = 0; i < actions.size(); ++i)
        EXPECT_EQ(actions[i], QString::number(i));
}

TEST_F(ReporterStateTest, AStalledCollectorHoldsAtMostTheQueueBoundAndDropsAreLoggedOncePerMinute) {
    transport->setStalled(true);
    std::chrono::steady_clock::time_point now;
    TQHitSender sender(transport, {}, [&now] { return now; });
    const QUrl hit("https://collector.test/collect?v=1");
    sender.enqueue(hit, {});
    ASSERT_TRUE(transport->waitForHits(1));

    LogCapture log;
    for (int i = 0; i < 300; ++i)
        sender.enqueue(hit, {});
    const QString first = "GoogleReporter hit dropped: 256 hits are already waiting.";
    EXPECT_EQ(log.lines(), QStringList{first});
    now += 59s;
    sender.enqueue(hit, {});
    EXPECT_EQ(log.lines(), QStringList{first}) << "no count within the minute";
    now += 1s;
    sender.enqueue(hit, {});
    EXPECT_EQ(log.lines(),
              (QStringList{first,
                           "GoogleReporter 45 more hits dropped: 256 hits were already waiting."}));

    EXPECT_EQ(sender.finishSending(100ms), 257u);
    EXPECT_TRUE(transport->wasCancelled());
    EXPECT_EQ(transport->hits().size(), 1) << "nothing more was started after the budget";

    log.clear();
    sender.enqueue(hit, {});
    EXPECT_EQ(log.lines(), QStringList{"GoogleReporter hit dropped: sending has ended."});
}

TEST_F(ReporterStateTest, ADestroyedReporterCancelsItsStalledTransfer) {
    transport->setStalled(true);
    auto reporter = makeReporter();
    reporter->event("Stuck", QString(), QString());
    ASSERT_TRUE(transport->waitForHits(1));
    reporter.reset();
    EXPECT_TRUE(transport->wasCancelled());
}

} // namespace
