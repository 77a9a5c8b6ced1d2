#include "LogCapture.h"
#include "Platform/UserAccount.h"
#include "ReporterFixture.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

using namespace std::chrono_literals;

class HitFormatTest : public ReporterFixture {
protected:
    // Sends one event and returns the hit the collector got.
    QUrl sendEvent(TQGoogleReporter& reporter, const QString& category, const QString& action,
                   const QString& label, const TQGoogleReporter::Parameters& parameters = {}) {
        const qsizetype before = transport->hits().size();
        reporter.event(category, action, label, parameters);
        EXPECT_TRUE(transport->waitForHits(before + 1));
        const QList<QUrl> hits = transport->hits();
        return hits.size() > before ? hits.at(before) : QUrl();
    }
};

TEST_F(HitFormatTest, AnEventWithOnlyACategoryCarriesTheCommonPairsAndEcOnly) {
    writeSettings({{"AnalyticsBaseURL", "https://collector.example.test/mp/"}});
    auto reporter = makeReporter();
    reporter->setCustomDimensionArguments({"8021"});

    const QUrl hit = sendEvent(*reporter, "Download_Number", QString(), QString());

    EXPECT_EQ(hit.toString(QUrl::RemoveQuery), "https://collector.example.test/mp/collect");
    const QMap<QString, QString> pairs = hitPairs(hit);
    EXPECT_EQ(pairs.keys(), (QStringList{"aid", "aip", "an", "av", "cd1", "cid", "ec", "sr", "t",
                                         "tid", "ua", "ul", "v"}));
    EXPECT_EQ(pairs["tid"], "UA-12345-67");
    EXPECT_EQ(pairs["aid"], identifier);
    EXPECT_EQ(pairs["cid"], reporter->uniqueUserIdentifier());
    EXPECT_EQ(pairs["ua"], reporter->userAgent());
    EXPECT_EQ(pairs["ul"], "zh-CN");
    EXPECT_EQ(pairs["sr"], "1440x900");
    EXPECT_EQ(pairs["cd1"], "8021");
    EXPECT_EQ(pairs["ec"], "Download_Number");
}

TEST_F(HitFormatTest, EmptyValuesAreSentAndAbsentOnesLeftOut) {
    auto reporter = makeReporter();
    const QUrl hit = sendEvent(*reporter, "Launch_Fail", QString(""), QString());

    EXPECT_TRUE(hit.query(QUrl::FullyEncoded).split('&').contains("ea="));
    EXPECT_FALSE(hitPairs(hit).contains("el"));
    EXPECT_FALSE(hitPairs(hit).contains("cd1")) << "no product ID, no custom dimension";
}

TEST_F(HitFormatTest, AwkwardTextArrivesUnchanged) {
    auto reporter = makeReporter();
    const QStringList texts{
        QStringLiteral("安装失败：压缩包下载失败"),
        "100% & more = less # not ? a + b",
        "line one\nline two\r\ttabbed",
        QStringLiteral("emoji \U0001F600 and ümlaut"),
        "a;b,c:d@e!f$g'h(i)j*k[l]m{n}o|p\\q^r`s\"t<u>v",
        "/home/user/My Apps/Scribora.app",
    };
    for (const QString& text : texts) {
        const QUrl hit = sendEvent(*reporter, "Install_Fail", text, text);
        const QMap<QString, QString> pairs = hitPairs(hit);
        EXPECT_EQ(pairs["ea"], text);
        EXPECT_EQ(pairs["el"], text);
        EXPECT_EQ(pairs["t"], "event") << "no pair was split by the text";
        const QString query = hit.query(QUrl::FullyEncoded);
        EXPECT_FALSE(query.contains(' ') || query.contains('+') || query.contains('#'));
    }
    const QString chinese = transport->hits().first().query(QUrl::FullyEncoded);
    EXPECT_TRUE(chinese.contains("ea=%E5%AE%89%E8%A3%85")) << qPrintable(chinese);
    const QString path = transport->hits().last().query(QUrl::FullyEncoded);
    EXPECT_TRUE(path.contains("el=/home/user/My%20Apps/Scribora.app")) << qPrintable(path);
}

TEST_F(HitFormatTest, OverlongTextsAreCutToWholeCharactersSoTheHitStillFits) {
    auto reporter = makeReporter();
    const QString label(8192, QLatin1Char('L'));
    const QString action = QString(300, QLatin1Char('a')) + QString(2000, QChar(0x5B89)) +
                           QStringLiteral("\U0001F600");
    const QString emoji = QStringLiteral("\U0001F600").repeated(600);
    const QUrl hit = sendEvent(*reporter, emoji, action, label);

    const QMap<QString, QString> pairs = hitPairs(hit);
    EXPECT_EQ(pairs["el"], label.left(2048));
    EXPECT_EQ(pairs["ea"], action.left(300 + (2048 - 300) / 9));
    EXPECT_EQ(pairs["ec"], emoji.left(2 * (2048 / 12)));
    EXPECT_LE(hit.toString(QUrl::FullyEncoded).size(), 8192);

    const QUrl exact = sendEvent(*reporter, "Fits", QString(2048, QLatin1Char('x')), QString());
    EXPECT_EQ(hitPairs(exact)["ea"].size(), 2048);
}

TEST_F(HitFormatTest, WithoutATrackerIdAHitIsLoggedAndNotSent) {
    auto reporter = makeReporter(QString());
    LogCapture log;
    reporter->event("Download_Number", QString(), QString());
    reporter->configure(QString(""));
    reporter->event("Download_Number", QString(), QString());

    EXPECT_EQ(reporter->finishSending(1s), 0u);
    EXPECT_TRUE(transport->hits().isEmpty());
    const QStringList twice{
        "GoogleReporter event ignored.",
        "You must set your tracker ID UA-XXXXX-XX with GoogleReporter.configure()"};
    EXPECT_EQ(log.lines(), twice + twice);
}

TEST_F(HitFormatTest, ABaseUrlThatIsNotAnHttpsRootFallsBackToTheDefault) {
    for (const char* setting : {"http://collector.example.test/", "https://collector.example.test",
                                "https://collector.example.test/a?b=c", "not a url"}) {
        writeSettings({{"AnalyticsBaseURL", setting}});
        LogCapture log;
        auto reporter = makeReporter();
        EXPECT_EQ(reporter->baseURL(), QUrl("https://www.google-analytics.com/")) << setting;
        EXPECT_EQ(log.lines().size(), 1) << setting;
    }
}

TEST_F(HitFormatTest, TheTrackerIdComesFromTheSettingsOrTheFixedDefaultOrIsNoneForGa4Only) {
    const QRegularExpression form("^UA-\\d{5}-\\d{2}$");
    EXPECT_TRUE(form.match(TQGoogleReporter::configuredTrackerId()).hasMatch());
    writeSettings({{"AnalyticsTrackerID", "UA-55555-05"}});
    EXPECT_EQ(TQGoogleReporter::configuredTrackerId(), "UA-55555-05");

    writeSettings(ga4Keys);
    LogCapture log;
    auto ga4Only = makeReporter(TQGoogleReporter::configuredTrackerId());
    ga4Only->event("Download_Number", QString(), QString());
    EXPECT_EQ(ga4Only->finishSending(5s), 0u);
    EXPECT_TRUE(transport->hits().isEmpty());
    EXPECT_EQ(transport->posts().size(), 1);
    EXPECT_TRUE(log.lines().isEmpty()) << qPrintable(log.lines().join('\n'));

    QVariantMap spaced = ga4Keys;
    spaced["AnalyticsAPISecret"] = QStringLiteral("s3cr3t K\u00e9y");
    writeSettings(spaced);
    EXPECT_TRUE(form.match(TQGoogleReporter::configuredTrackerId()).hasMatch());
    auto classicOnly = makeReporter(TQGoogleReporter::configuredTrackerId());
    EXPECT_EQ(log.lines().size(), 1) << "the refused keys";
    sendEvent(*classicOnly, "Download_Number", QString(), QString());
    EXPECT_EQ(transport->posts().size(), 1) << "no GA4 request with refused keys";
}

TEST(GA4HitTest, NamesFollowTheTableAndValuesAreCutAtWholeCharacters) {
    const QJsonValue none(QJsonValue::Undefined);
    const QString a99(99, 'a');
    struct Row {
        const char* sentence;
        QString category, action, label, name;
        QJsonValue sentAction, sentLabel, duration;
    };
    const QList<Row> rows{
        {"a stage event is named by its category", "Download_Number", QString(), QString(),
         "Download_Number", none, none, none},
        {"a duration is also a number", "Download_TimeInterval", "12.34", QString(),
         "Download_TimeInterval", "12.34", none, 12.34},
        {"the error dialog's button names the event", "Error", "Error_TryAgain", "",
         "Error_TryAgain", "Error_TryAgain", "", none},
        {"the quit prompt's answer names the event", "Quit", "Quit_Continue", QString(),
         "Quit_Continue", "Quit_Continue", none, none},
        {"a reserved name gets a prefix", "Error", QString(), QString(), "event_Error", none, none,
         none},
        {"so does a reserved prefix; only durations are numbers", "ga_launch", "42", QString(),
         "event_ga_launch", "42", none, none},
        {"other characters become underscores, and a name starts with a letter",
         QStringLiteral("7 Zip-\u5B89"), QString(), QString(), "event_7_Zip__", none, none, none},
        {"a name is cut to 40 characters", QString(50, 'N'), QString(), QString(), QString(40, 'N'),
         none, none, none},
        {"a value is cut to 100 characters", "Install_Fail", QString(150, 'x'), QString(100, 'L'),
         "Install_Fail", QString(100, 'x'), QString(100, 'L'), none},
        {"a cut keeps a surrogate pair whole", "Install_Fail", a99 + QStringLiteral("\U0001F600"),
         QString(), "Install_Fail", a99, none, none},
        {"a cut keeps a combining sequence whole", "Install_Fail", QString(),
         a99 + QStringLiteral("e\u0301"), "Install_Fail", none, a99, none},
    };
    TQMeasurementProtocol::Common common{"Installer", "1.2.3", "45", "1700000000", {}};
    for (int i = 1; i <= 30; ++i)
        common.customDimensions << QString::number(i);
    for (const Row& row : rows) {
        const QJsonObject event =
            TQMeasurementProtocol::event(row.category, row.action, row.label, common);
        const QJsonObject params = event["params"].toObject();
        EXPECT_EQ(event["name"].toString(), row.name) << row.sentence;
        EXPECT_EQ(params["event_action"], row.sentAction) << row.sentence;
        EXPECT_EQ(params["event_label"], row.sentLabel) << row.sentence;
        EXPECT_EQ(params["duration_seconds"], row.duration) << row.sentence;
        EXPECT_EQ(params.size(), 25) << row.sentence;
    }
}

TEST_F(HitFormatTest, NoLoginOrHomeFolderLeavesInActionsOrLabels) {
    const QString login = Platform::UserAccount::loginName();
    ASSERT_FALSE(login.isEmpty());
    const QString home = TestEnvironment::makeFolder("homes") + "/" + login;
    const QByteArray testHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    writeSettings(ga4Keys);
    auto reporter = makeReporter();
    qputenv("HOME", testHome);

    reporter->event("Launch_Success", home + "/Applications/Scribora.app", QString());
    reporter->event("Select_Install_Directory", home, QString());
    reporter->event("Launch_Fail", QString(),
                    "{\n    NSFileOwnerAccountName = " + login + ";\n    NSFileSize = 64;\n}");
    reporter->event("Install_Fail", "x", "/opt/" + login + "/" + login + "s.app");
    EXPECT_EQ(reporter->finishSending(10s), 0u);

    const QList<QUrl> hits = transport->hits();
    ASSERT_EQ(hits.size(), 4);
    EXPECT_EQ(hitPairs(hits[0])["ea"], "~/Applications/Scribora.app");
    EXPECT_EQ(hitPairs(hits[1])["ea"], "~");
    EXPECT_EQ(hitPairs(hits[3])["el"], "/opt/(user)/" + login + "s.app");
    QString recorded = QString::fromUtf8(transport->posts().join('\n'));
    for (const QUrl& hit : hits)
        recorded += QUrl::fromPercentEncoding(hit.toEncoded());
    // The login standing alone, as in "= login;" or "/login/", not inside a longer name.
    const QRegularExpression alone("(?<![\\w.~+@-])" + QRegularExpression::escape(login) +
                                   "(?![\\w.~+@-])");
    EXPECT_FALSE(recorded.remove("(user)").contains(alone)) << qPrintable(recorded);
}

} // namespace
