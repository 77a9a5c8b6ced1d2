#include "Platform/URLSession.h"
#include "HttpsTestServer.h"
#include "Platform/OperationQueue.h"
#include "TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <future>
#include <gtest/gtest.h>

namespace {

using Platform::URLSession;
using Platform::URLSessionError;
using Platform::URLSessionResumeData;

// Collects one download task's delegate calls.
struct Recorder {
    explicit Recorder(Platform::OperationQueue& q) : queue(q) {}
    Platform::OperationQueue& queue;
    bool offQueue = false;
    qint64 lastTotal = 0;
    qint64 lastExpected = 0;
    QByteArray body;
    QString location;
    Platform::URLResponse response;
    std::optional<URLSessionError> error;
    std::optional<URLSessionResumeData> resumeData;
    std::promise<void> done;

    Platform::URLSessionDownloadDelegate delegate() {
        return {[this](qint64, qint64 total, qint64 expected) {
                    offQueue |= !queue.isCurrent();
                    lastTotal = total;
                    lastExpected = expected;
                },
                [this](const Platform::URLResponse& r, const QString& path) {
                    offQueue |= !queue.isCurrent();
                    QFile file(path);
                    if (file.open(QIODevice::ReadOnly))
                        body = file.readAll();
                    location = path;
                    response = r;
                },
                [this](const std::optional<URLSessionError>& e,
                       const std::optional<URLSessionResumeData>& r) {
                    offQueue |= !queue.isCurrent();
                    error = e;
                    resumeData = r;
                    done.set_value();
                }};
    }
    void wait() {
        ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    }
};

class URLSessionTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning());
        session.setConfiguration(
            {std::chrono::milliseconds(5000), std::chrono::seconds(1), server.certificatePath()});
        options.temporaryDirectory = TestEnvironment::makeFolder(QStringLiteral("session"));
    }

    HttpsTestServer server;
    Platform::OperationQueue queue; // outlives the session, whose threads post to it
    URLSession session;
    Platform::URLSessionDownloadOptions options;
};

TEST_F(URLSessionTest, DataTaskReportsNoErrorForAnyResponseAndAnErrorWithoutOne) {
    server.respond(QStringLiteral("/collect"), 500);
    std::promise<QString> answered;
    session.dataTask(server.url(QStringLiteral("/collect?v=1&t=event")),
                     [&](const QString& error) { answered.set_value(error); });
    EXPECT_TRUE(answered.get_future().get().isNull());
    EXPECT_EQ(server.requests(QStringLiteral("/collect")).at(0).query,
              QStringLiteral("v=1&t=event"));
    EXPECT_TRUE(server.requests()
                    .at(0)
                    .headers.value(QStringLiteral("user-agent"))
                    .startsWith(QStringLiteral("OnlineInstaller/")));

    std::promise<QString> refused;
    session.dataTask(QUrl(QStringLiteral("https://127.0.0.1:1/collect")),
                     [&](const QString& error) { refused.set_value(error); });
    EXPECT_FALSE(refused.get_future().get().isEmpty());
}

TEST_F(URLSessionTest, DownloadsThroughRedirectsOnTheDelegateQueue) {
    const QByteArray content(300000, 'z');
    server.redirect(QStringLiteral("/go.php"), QStringLiteral("/files/Product%20One.zip"));
    server.serveBytes(QStringLiteral("/files/Product One.zip"), content);
    Recorder recorder(queue);
    session.downloadTask(server.url(QStringLiteral("/go.php?pid=1&m=c1")), options,
                         recorder.delegate(), queue);
    recorder.wait();
    EXPECT_FALSE(recorder.error);
    EXPECT_FALSE(recorder.offQueue);
    EXPECT_EQ(recorder.body, content);
    EXPECT_EQ(recorder.lastTotal, content.size());
    EXPECT_EQ(recorder.lastExpected, content.size());
    EXPECT_EQ(recorder.response.statusCode, 200);
    EXPECT_EQ(recorder.response.suggestedFilename, QStringLiteral("Product One.zip"));
    EXPECT_FALSE(QFile::exists(recorder.location));
    EXPECT_TRUE(QDir(options.temporaryDirectory).isEmpty());
}

TEST_F(URLSessionTest, ContinuesABrokenDownloadWithARangeAndStartsOverWhenTheFileChanged) {
    QByteArray content;
    for (int i = 0; i < 50000; ++i)
        content += QByteArray::number(i % 10);
    server.serveBytes(QStringLiteral("/p.zip"), content);
    server.closeAfter(QStringLiteral("/p.zip"), 20000);

    Recorder first(queue);
    session.downloadTask(server.url(QStringLiteral("/p.zip")), options, first.delegate(), queue);
    first.wait();
    ASSERT_TRUE(first.error);
    EXPECT_EQ(first.error->kind, URLSessionError::Kind::Transfer);
    ASSERT_TRUE(first.resumeData);
    EXPECT_EQ(first.resumeData->length, 20000);

    Recorder second(queue);
    session.downloadTaskWithResumeData(*first.resumeData, options, second.delegate(), queue);
    second.wait();
    EXPECT_FALSE(second.error);
    EXPECT_EQ(second.body, content);
    const auto requests = server.requests(QStringLiteral("/p.zip"));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].headers.value(QStringLiteral("range")), QStringLiteral("bytes=20000-"));
    EXPECT_FALSE(requests[1].headers.value(QStringLiteral("if-range")).isEmpty());

    server.closeAfter(QStringLiteral("/p.zip"), 30000);
    Recorder third(queue);
    session.downloadTask(server.url(QStringLiteral("/p.zip")), options, third.delegate(), queue);
    third.wait();
    ASSERT_TRUE(third.resumeData);
    const QByteArray changed(70000, 'n');
    server.replaceContent(QStringLiteral("/p.zip"), changed);
    Recorder fourth(queue);
    session.downloadTaskWithResumeData(*third.resumeData, options, fourth.delegate(), queue);
    fourth.wait();
    EXPECT_FALSE(fourth.error);
    EXPECT_EQ(fourth.body, changed);
}

TEST_F(URLSessionTest, RefusesOtherSchemesErrorStatusesAndUntrustedServers) {
    server.redirect(QStringLiteral("/plain"), QStringLiteral("http://127.0.0.1:1/x.zip"));
    server.respond(QStringLiteral("/missing.zip"), 404, QByteArray("<html>not here</html>"));

    Recorder redirected(queue);
    session.downloadTask(server.url(QStringLiteral("/plain")), options, redirected.delegate(),
                         queue);
    redirected.wait();
    ASSERT_TRUE(redirected.error);
    EXPECT_EQ(redirected.error->kind, URLSessionError::Kind::BadAddress);

    Recorder missing(queue);
    session.downloadTask(server.url(QStringLiteral("/missing.zip")), options, missing.delegate(),
                         queue);
    missing.wait();
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->kind, URLSessionError::Kind::HTTPStatus);
    EXPECT_EQ(missing.error->statusCode, 404);
    EXPECT_FALSE(missing.resumeData);

    session.setConfiguration({std::chrono::milliseconds(5000), std::chrono::seconds(1),
                              TestEnvironment::makeFolder(QStringLiteral("no-ca")) + "/none.pem"});
    Recorder untrusted(queue);
    session.downloadTask(server.url(QStringLiteral("/missing.zip")), options, untrusted.delegate(),
                         queue);
    untrusted.wait();
    ASSERT_TRUE(untrusted.error);
    EXPECT_EQ(untrusted.error->kind, URLSessionError::Kind::Transfer);
    EXPECT_TRUE(QDir(options.temporaryDirectory).isEmpty());
}

} // namespace

namespace {

// A partial file the test made, as a broken download would have left it.
URLSessionResumeData partialFile(const QString& folder, const QByteArray& bytes, const QUrl& url,
                                 const QByteArray& validator) {
    const QString path = folder + QStringLiteral("/kept.part");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return URLSessionResumeData{url, path, bytes.size(), validator};
}

TEST_F(URLSessionTest, ARangeTheServerCannotServeOrMisplacesStartsTheFileOver) {
    const QByteArray content("0123456789");
    server.serveBytes(QStringLiteral("/short"), content);
    server.handle(QStringLiteral("/misplaced"), [&](const HttpsTestServer::Request& request) {
        if (request.headers.contains(QStringLiteral("range")))
            return HttpsTestServer::Reply{
                206, content, {{"Content-Range", "bytes 0-9/10"}, {"ETag", "\"v\""}}};
        return HttpsTestServer::Reply{200, content, {{"ETag", "\"v\""}}};
    });
    const QByteArray etag =
        '"' + QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex().left(16) + '"';

    Recorder pastTheEnd(queue);
    session.downloadTaskWithResumeData(partialFile(options.temporaryDirectory,
                                                   QByteArray("0123456789AB"),
                                                   server.url(QStringLiteral("/short")), etag),
                                       options, pastTheEnd.delegate(), queue);
    pastTheEnd.wait();
    EXPECT_FALSE(pastTheEnd.error);
    EXPECT_EQ(pastTheEnd.body, content);

    Recorder misplaced(queue);
    session.downloadTaskWithResumeData(partialFile(options.temporaryDirectory, QByteArray("XXXXX"),
                                                   server.url(QStringLiteral("/misplaced")),
                                                   "\"v\""),
                                       options, misplaced.delegate(), queue);
    misplaced.wait();
    EXPECT_FALSE(misplaced.error);
    EXPECT_EQ(misplaced.body, content);
    EXPECT_EQ(server.requests(QStringLiteral("/short")).size(), 2u);
    EXPECT_EQ(server.requests(QStringLiteral("/misplaced")).size(), 2u);
}

} // namespace
