#include "TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString packages = TQ_BINARY_DIR "/examples";

struct Reply {
    long status = 0;
    QByteArray body;
    QByteArray headers;
    bool complete = false;
};

size_t append(char* data, size_t size, size_t count, void* target) {
    static_cast<QByteArray*>(target)->append(data, qsizetype(size * count));
    return size * count;
}

// The devserver binary on a free port, with its own state folder.
class DevServerTest : public testing::Test {
protected:
    void start(const QStringList& extra = {}) {
        state = TestEnvironment::makeFolder("devserver");
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(TQ_BINARY_DIR "/tools/devserver/devserver",
                     QStringList{"--folder", packages, "--state", state, "--port", "0"} + extra);
        const QRegularExpression listening("https://127\\.0\\.0\\.1:(\\d+)/");
        QByteArray output;
        while (server.waitForReadyRead(30000)) {
            output += server.readAll();
            const auto match = listening.match(QString::fromUtf8(output));
            if (match.hasMatch() && output.contains("hits in")) {
                base = "https://127.0.0.1:" + match.captured(1).toUtf8();
                return;
            }
        }
        FAIL() << "the devserver did not start: " << output.constData();
    }
    void TearDown() override {
        server.terminate();
        server.waitForFinished();
    }
    Reply get(const QByteArray& path, const char* range = nullptr, bool follow = true) const {
        Reply reply;
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
        const QByteArray url = base + path;
        const QByteArray certificate = QFile::encodeName(state + "/cert.pem");
        curl_easy_setopt(curl.get(), CURLOPT_URL, url.constData());
        curl_easy_setopt(curl.get(), CURLOPT_CAINFO, certificate.constData());
        curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.body);
        curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, append);
        curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply.headers);
        curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 20L);
        if (range)
            curl_easy_setopt(curl.get(), CURLOPT_RANGE, range);
        reply.complete = curl_easy_perform(curl.get()) == CURLE_OK;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
        return reply;
    }
    static QByteArray package() {
        QFile file(packages + "/Scribora.zip");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QProcess server;
    QString state;
    QByteArray base;
};

TEST_F(DevServerTest, LinksLeadToThePackagesWhichAreServedWithRanges) {
    start();
    const QByteArray whole = package();
    ASSERT_FALSE(whole.isEmpty());
    Reply reply = get("/go.php?pid=1234&m=c1");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, whole);
    EXPECT_TRUE(
        get("/go.php?pid=1234&m=c2", nullptr, false).headers.contains("/packages/Scribora.dmg"));
    EXPECT_TRUE(get("/go.php?pid=1234&m=c3").body.contains("Privacy"));

    reply = get("/packages/Scribora.zip", "10-19");
    EXPECT_EQ(reply.status, 206);
    EXPECT_EQ(reply.body, whole.mid(10, 10));
    reply = get("/packages/Scribora.zip", "100-");
    EXPECT_EQ(reply.body, whole.mid(100));
    reply = get("/packages/Scribora.zip", QByteArray::number(whole.size()).append("-").constData());
    EXPECT_EQ(reply.status, 416);
    EXPECT_EQ(get("/packages/Missing.zip").status, 404);
    EXPECT_EQ(get("/packages/..%2F..%2Fetc%2Fpasswd").status, 404);
}

TEST_F(DevServerTest, TheCollectorWritesEachHitDecoded) {
    start();
    EXPECT_EQ(get("/collect?v=1&t=event&ec=Install_Fail&ea=%E5%AE%89%E8%A3%85+x").status, 200);
    QFile hits(state + "/hits.jsonl");
    ASSERT_TRUE(hits.open(QIODevice::ReadOnly));
    const QByteArray line = hits.readLine();
    EXPECT_TRUE(line.contains(R"("ea":"安装 x")")) << line.constData();
    EXPECT_TRUE(line.contains(R"("ec":"Install_Fail")"));
}

TEST_F(DevServerTest, AFaultHitsTheFirstTransfersOnly) {
    start({"--fault", "drop:1000", "--fault-times", "1"});
    Reply reply = get("/packages/Scribora.zip");
    EXPECT_FALSE(reply.complete);
    EXPECT_EQ(reply.body.size(), 1000);
    reply = get("/packages/Scribora.zip");
    EXPECT_TRUE(reply.complete);
    EXPECT_EQ(reply.body, package());
}

TEST_F(DevServerTest, SignaturesComeUntouchedAndTamperFlipsOneByteOfThePackage) {
    start({"--fault", "tamper"});
    QFile signature(packages + "/Scribora.zip.sig");
    ASSERT_TRUE(signature.open(QIODevice::ReadOnly));
    EXPECT_EQ(get("/go.php?pid=1234&m=c5").body, signature.readAll());
    EXPECT_TRUE(get("/go.php?pid=1234&m=c6", nullptr, false)
                    .headers.contains("/packages/Scribora.dmg.sig"));
    const QByteArray whole = package();
    const QByteArray tampered = get("/go.php?pid=1234&m=c1").body;
    ASSERT_EQ(tampered.size(), whole.size());
    int flipped = 0;
    for (qsizetype i = 0; i < whole.size(); ++i)
        flipped += whole[i] != tampered[i];
    EXPECT_EQ(flipped, 1);
}

} // namespace
