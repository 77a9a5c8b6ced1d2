#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

// How HttpsTestServer sends a content.
struct HttpsContentOptions {
    QByteArray contentDisposition; // sent when not empty
    bool chunked = false;          // no Content-Length, no range support
    bool etag = true;              // a strong ETag derived from the content
    QByteArray lastModified;       // sent when not empty
    bool ranges = true;            // false: Range is ignored, the whole content goes out
    bool ifRange = true;           // false: a range is served whatever If-Range says
    qint64 rate = 0;               // body bytes per second; 0: as fast as it goes
};

// A scripted HTTPS server, by default on 127.0.0.1 with an ephemeral port and a certificate made
// when it starts. Clients trust it through certificatePath() (CURLOPT_CAINFO or CURL_CA_BUNDLE).
//
// Routes answer GET requests by path (the query is ignored for matching). Each route may be
// given faults, used up one per request in the order given. A request to a path without a
// route is answered 404 and counted as unexpected; problems() lists it, along with every
// route whose expected request count was not met exactly.
//
// Thread-safe: routes and faults may be changed while requests are served. Handlers run on the
// server's threads.
class HttpsTestServer {
public:
    struct ByteRange {
        qint64 first = 0;
        qint64 last = 0;
    };
    // The one range of a "bytes=" header, clipped to size; nullopt when the header asks for no
    // single range (then the whole content goes out); a first byte past the end gives
    // {size, size - 1}.
    [[nodiscard]] static std::optional<ByteRange> parseRange(const std::string& header,
                                                             qint64 size);

    struct Request {
        QString method;
        QString path;                   // decoded
        QString query;                  // as sent, still percent-encoded; empty without "?"
        QMap<QString, QString> headers; // names in lower case
        QByteArray body;
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray contentType = "text/html";
    };
    using Handler = std::function<Reply(const Request&)>;
    // Sees each request on the server's threads, and whether a fault met it.
    using Observer = std::function<void(const Request&, bool faulty)>;

    using ContentOptions = HttpsContentOptions;

    // Where it listens; a certificate folder keeps cert.pem and key.pem for later runs.
    struct Listen {
        QString host;
        int port = 0;
        QString certificateFolder;
    };

    HttpsTestServer();
    explicit HttpsTestServer(const Listen& listen);
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    [[nodiscard]] bool isRunning() const { return m_port > 0; }
    [[nodiscard]] int port() const { return m_port; }
    // https://<host>:<port> followed by pathAndQuery ("/a/b.zip?x=1").
    [[nodiscard]] QUrl url(const QString& pathAndQuery) const;
    // The server's certificate (PEM), which is its own authority.
    [[nodiscard]] QString certificatePath() const;

    // Content with range requests (Range, If-Range) answered by this server: 206 with
    // Content-Range, 416 past the end, the whole content when If-Range does not match.
    void serveBytes(const QString& path, const QByteArray& content, ContentOptions options = {});
    // The same for a file read in pieces while it is sent (large files).
    void serveFile(const QString& path, const QString& filePath, ContentOptions options = {});
    // Location is sent as given: an absolute address or a path on this server.
    void redirect(const QString& path, const QString& location, int status = 302);
    void respond(const QString& path, int status, const QByteArray& body = {});
    void handle(const QString& path, Handler handler);

    // Faults for the next requests to a path.
    // The connection is closed after this many body bytes.
    void closeAfter(const QString& path, qint64 bodyBytes, int requests = 1);
    // The headers go out, then nothing until the client leaves or the server stops.
    void stallAfterHeaders(const QString& path, int requests = 1);
    // The body goes on for this many bytes past its Content-Length.
    void sendExtraBytes(const QString& path, qint64 extraBytes, int requests = 1);
    // The body stops this many bytes short of its Content-Length and the connection closes.
    void overstateLength(const QString& path, qint64 missingBytes, int requests = 1);
    // The body goes out a hundred bytes every 200 ms.
    void trickle(const QString& path, int requests = 1);
    // The middle byte of the content goes out flipped.
    void tamper(const QString& path, int requests = 1);
    // The request is answered with this status and no content.
    void refuse(const QString& path, int status, int requests = 1);
    // From the next request on, the path serves this content (a new ETag and Last-Modified),
    // with new options when given.
    void replaceContent(const QString& path, const QByteArray& content,
                        std::optional<ContentOptions> options = std::nullopt);

    void observe(Observer observer);

    // The path must get exactly this many requests.
    void expect(const QString& path, int requests);
    // Unexpected requests and unmet expectations, one sentence each; empty when all is well.
    [[nodiscard]] QStringList problems() const;
    [[nodiscard]] std::vector<Request> requests() const;
    [[nodiscard]] std::vector<Request> requests(const QString& path) const;
    // Waits until the path got at least `count` requests.
    [[nodiscard]] bool waitForRequests(const QString& path, int count,
                                       std::chrono::milliseconds timeout) const;
    // Body bytes written to clients so far.
    [[nodiscard]] qint64 bodyBytesSent() const;

private:
    struct Fault {
        enum class Kind {
            CloseAfter,
            Stall,
            ExtraBytes,
            Overstate,
            Trickle,
            Replace,
            Tamper,
            Refuse
        } kind;
        qint64 bytes = 0;
        QByteArray content;
        std::optional<ContentOptions> options;
    };
    struct Content {
        QByteArray bytes; // when filePath is empty
        QString filePath;
        qint64 size = 0;
        QByteArray etag;
        QByteArray lastModified;
        ContentOptions options;
    };
    struct Route {
        std::shared_ptr<const Content> content;
        Handler handler;
        std::deque<Fault> faults;
        int expected = -1;
    };

    [[nodiscard]] bool certificateNamesHost() const;
    bool generateCertificate();
    void dispatch(const httplib::Request& request, httplib::Response& response);
    void serveContent(const std::shared_ptr<const Content>& content,
                      const std::optional<Fault>& fault, const Request& request,
                      httplib::Response& response);
    void addRoute(const QString& path, Route route);
    void addFaults(const QString& path, Fault fault, int requests);
    void sendBody(const std::shared_ptr<const Content>& content, qint64 offset, qint64 length,
                  const std::optional<Fault>& fault, httplib::Response& response);
    // Sleeps until the server stops or the time is up; false when it stops.
    bool pause(std::chrono::milliseconds duration) const;

    std::optional<QTemporaryDir> m_temporaryFolder;
    QString m_certificateFolder;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    QString m_host;
    int m_port = 0;
    Observer m_observer;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopping = false;
    std::map<QString, Route> m_routes;
    std::vector<Request> m_requests;
    QStringList m_unexpected;
    qint64 m_bodyBytesSent = 0;
};
