#include "HttpsTestServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Fetched {
    long status = 0;
    std::string headers;
    std::string body;
    CURLcode code = CURLE_OK;
};

// A plain libcurl GET, independent of the code under test.
Fetched fetch(const HttpsTestServer& server, const QString& path,
              const std::vector<std::string>& requestHeaders = {}) {
    Fetched result;
    CURL* curl = curl_easy_init();
    const QByteArray url = server.url(path).toEncoded();
    const QByteArray ca = server.certificatePath().toLocal8Bit();
    curl_slist* list = nullptr;
    for (const std::string& header : requestHeaders)
        list = curl_slist_append(list, header.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const auto append = +[](char* data, size_t size, size_t count, void* target) {
        static_cast<std::string*>(target)->append(data, size * count);
        return size * count;
    };
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
    result.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return result;
}

TEST(HttpsTestServerTest, AnswersRangesItselfAndChecksIfRange) {
    HttpsTestServer server;
    ASSERT_TRUE(server.isRunning());
    server.serveBytes(QStringLiteral("/file.bin"), QByteArray("0123456789"));

    const Fetched whole = fetch(server, QStringLiteral("/file.bin"));
    ASSERT_EQ(whole.code, CURLE_OK);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, "0123456789");
    const auto etagAt = whole.headers.find("ETag: ");
    ASSERT_NE(etagAt, std::string::npos);
    const std::string etag =
        whole.headers.substr(etagAt + 6, whole.headers.find('\r', etagAt) - etagAt - 6);

    const Fetched tail =
        fetch(server, QStringLiteral("/file.bin"), {"Range: bytes=4-", "If-Range: " + etag});
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.body, "456789");
    EXPECT_NE(tail.headers.find("Content-Range: bytes 4-9/10"), std::string::npos);

    const Fetched stale =
        fetch(server, QStringLiteral("/file.bin"), {"Range: bytes=4-", "If-Range: \"old\""});
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, "0123456789");

    const Fetched past = fetch(server, QStringLiteral("/file.bin"), {"Range: bytes=10-"});
    EXPECT_EQ(past.status, 416);
    EXPECT_NE(past.headers.find("Content-Range: bytes */10"), std::string::npos);
    EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
}

TEST(HttpsTestServerTest, FaultsAreUsedUpOnePerRequest) {
    HttpsTestServer server;
    const QByteArray content(200000, 'a');
    server.serveBytes(QStringLiteral("/f"), content);
    server.closeAfter(QStringLiteral("/f"), 1000);
    server.replaceContent(QStringLiteral("/f"), QByteArray("new"));

    const Fetched broken = fetch(server, QStringLiteral("/f"));
    EXPECT_NE(broken.code, CURLE_OK);
    EXPECT_EQ(broken.body.size(), 1000u);
    const Fetched replaced = fetch(server, QStringLiteral("/f"));
    EXPECT_EQ(replaced.code, CURLE_OK);
    EXPECT_EQ(replaced.body, "new");
}

TEST(HttpsTestServerTest, RedirectsHandlersAndExpectations) {
    HttpsTestServer server;
    server.redirect(QStringLiteral("/go.php"), QStringLiteral("/pkg.zip"));
    server.serveBytes(QStringLiteral("/pkg.zip"), QByteArray("zip"),
                      {"attachment; filename=\"Product.zip\"", true, true, {}});
    server.handle(QStringLiteral("/collect"), [](const HttpsTestServer::Request&) {
        return HttpsTestServer::Reply{204, {}, {}};
    });
    server.expect(QStringLiteral("/go.php"), 1);
    server.expect(QStringLiteral("/collect"), 2);

    const Fetched redirected = fetch(server, QStringLiteral("/go.php?pid=7&m=c1"));
    EXPECT_EQ(redirected.status, 302);
    EXPECT_NE(redirected.headers.find("Location: /pkg.zip"), std::string::npos);
    EXPECT_EQ(fetch(server, QStringLiteral("/pkg.zip")).body, "zip");
    EXPECT_EQ(fetch(server, QStringLiteral("/collect?v=1&ec=a%20b")).status, 204);
    EXPECT_EQ(server.requests(QStringLiteral("/go.php")).at(0).query, QStringLiteral("pid=7&m=c1"));
    EXPECT_EQ(server.requests(QStringLiteral("/collect")).at(0).query,
              QStringLiteral("v=1&ec=a%20b"));

    EXPECT_EQ(fetch(server, QStringLiteral("/elsewhere")).status, 404);
    EXPECT_EQ(server.problems(),
              QStringList({QStringLiteral("unexpected GET /elsewhere"),
                           QStringLiteral("/collect expected 2 requests, got 1")}));
}

} // namespace
