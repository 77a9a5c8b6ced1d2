#include "HttpsTestServer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <chrono>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <thread>

namespace {

constexpr qint64 kPieceSize = 64 * 1024;
constexpr qint64 kTricklePiece = 100;
constexpr std::chrono::milliseconds kTrickleInterval{200};
constexpr std::chrono::seconds kLongestStall{120};

QByteArray httpDate(const QDateTime& time) {
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// Listening on every address, the server has no one name a certificate could hold.
bool isWildcard(const QString& host) {
    return host == QStringLiteral("0.0.0.0") || host == QStringLiteral("::");
}

bool isAddress(const QString& host) {
    ASN1_OCTET_STRING* address = a2i_IPADDRESS(host.toUtf8().constData());
    ASN1_OCTET_STRING_free(address);
    return address != nullptr;
}

QByteArray etagOf(const QByteArray& seed) {
    return '"' + QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().left(16) + '"';
}

} // namespace

std::optional<HttpsTestServer::ByteRange> HttpsTestServer::parseRange(const std::string& header,
                                                                      qint64 size) {
    const QByteArray value = QByteArray::fromStdString(header).trimmed();
    if (!value.startsWith("bytes=") || value.contains(','))
        return std::nullopt;
    const QByteArray spec = value.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    bool ok = false;
    if (dash == 0) {
        const qint64 suffix = spec.mid(1).toLongLong(&ok);
        if (!ok || suffix <= 0)
            return std::nullopt;
        return ByteRange{std::max<qint64>(0, size - suffix), size - 1};
    }
    const qint64 first = spec.left(dash).toLongLong(&ok);
    if (!ok || first < 0)
        return std::nullopt;
    qint64 last = size - 1;
    if (dash + 1 < spec.size()) {
        last = spec.mid(dash + 1).toLongLong(&ok);
        if (!ok || last < first)
            return std::nullopt;
    }
    if (first >= size)
        return ByteRange{size, size - 1};
    return ByteRange{first, std::min(last, size - 1)};
}

HttpsTestServer::HttpsTestServer() : HttpsTestServer(Listen{}) {}

HttpsTestServer::HttpsTestServer(const Listen& listen)
    : m_host(listen.host.isEmpty() ? QStringLiteral("127.0.0.1") : listen.host) {
    m_certificateFolder = listen.certificateFolder;
    if (m_certificateFolder.isEmpty() && m_temporaryFolder.emplace().isValid())
        m_certificateFolder = m_temporaryFolder->path();
    const QString keyPath = m_certificateFolder + QStringLiteral("/key.pem");
    const bool kept = QFileInfo::exists(keyPath) && certificateNamesHost();
    if (m_certificateFolder.isEmpty() || !(kept || generateCertificate()))
        return;
    const QByteArray certificate = QFile::encodeName(certificatePath());
    const QByteArray key = QFile::encodeName(keyPath);
    m_server = std::make_unique<httplib::SSLServer>(certificate.constData(), key.constData());
    if (!m_server->is_valid())
        return;
    const auto dispatcher = [this](const httplib::Request& request, httplib::Response& response) {
        dispatch(request, response);
    };
    m_server->Get(".*", dispatcher);
    m_server->Post(".*", dispatcher);
    m_server->Put(".*", dispatcher);
    m_server->Delete(".*", dispatcher);
    const std::string host = m_host.toStdString();
    const int port = listen.port == 0                            ? m_server->bind_to_any_port(host)
                     : m_server->bind_to_port(host, listen.port) ? listen.port
                                                                 : 0;
    if (port <= 0)
        return;
    m_port = port;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is a no-op until the listener runs, so a server torn down at once would hang.
    for (int waited = 0; waited < 5000 && !m_server->is_running(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpsTestServer::~HttpsTestServer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

// A kept certificate made for another host is made anew.
bool HttpsTestServer::certificateNamesHost() const {
    const QByteArray path = QFile::encodeName(certificatePath());
    const QByteArray host = m_host.toUtf8();
    const std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.constData(), "r"), fclose);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
    return certificate &&
           (isWildcard(m_host) || X509_check_ip_asc(certificate.get(), host.constData(), 0) == 1 ||
            X509_check_host(certificate.get(), host.constData(), 0, 0, nullptr) == 1);
}

bool HttpsTestServer::generateCertificate() {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                  EVP_PKEY_free);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    if (!key || !certificate)
        return false;
    X509* cert = certificate.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert),
                     long(QRandomGenerator::global()->bounded(1 << 30)));
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 30 * 24 * 3600);
    X509_set_pubkey(cert, key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    QByteArray names = "IP:127.0.0.1,DNS:localhost";
    if (!isWildcard(m_host) && m_host != QStringLiteral("127.0.0.1"))
        names += (isAddress(m_host) ? ",IP:" : ",DNS:") + m_host.toUtf8();
    const std::pair<int, const char*> extensions[] = {
        {NID_basic_constraints, "critical,CA:TRUE"},
        {NID_subject_key_identifier, "hash"},
        {NID_subject_alt_name, names.constData()},
    };
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        if (!extension)
            return false;
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(cert, key.get(), EVP_sha256()) == 0)
        return false;
    const auto write = [](const QString& path, const std::function<int(FILE*)>& writer) {
        const std::unique_ptr<FILE, decltype(&fclose)> file(
            fopen(QFile::encodeName(path).constData(), "w"), fclose);
        return file && writer(file.get()) == 1;
    };
    return write(certificatePath(), [&](FILE* file) { return PEM_write_X509(file, cert); }) &&
           write(m_certificateFolder + QStringLiteral("/key.pem"), [&](FILE* file) {
               return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
           });
}

QUrl HttpsTestServer::url(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("https://%1:%2%3").arg(m_host).arg(m_port).arg(pathAndQuery));
}

QString HttpsTestServer::certificatePath() const {
    return m_certificateFolder + QStringLiteral("/cert.pem");
}

void HttpsTestServer::serveBytes(const QString& path, const QByteArray& content,
                                 ContentOptions options) {
    auto served = std::make_shared<Content>();
    served->bytes = content;
    served->size = content.size();
    served->etag = options.etag ? etagOf(content) : QByteArray();
    served->lastModified = options.lastModified;
    served->options = std::move(options);
    addRoute(path, Route{std::move(served), {}, {}, -1});
}

void HttpsTestServer::serveFile(const QString& path, const QString& filePath,
                                ContentOptions options) {
    const QFileInfo info(filePath);
    auto served = std::make_shared<Content>();
    served->filePath = filePath;
    served->size = info.size();
    served->etag =
        options.etag ? etagOf(QFile::encodeName(filePath) + " " + QByteArray::number(info.size()) +
                              " " + QByteArray::number(info.lastModified().toMSecsSinceEpoch()))
                     : QByteArray();
    served->lastModified = options.lastModified;
    served->options = std::move(options);
    addRoute(path, Route{std::move(served), {}, {}, -1});
}

void HttpsTestServer::redirect(const QString& path, const QString& location, int status) {
    handle(path, [location, status](const Request&) {
        return Reply{status, {}, {{"Location", location.toUtf8()}}};
    });
}

void HttpsTestServer::respond(const QString& path, int status, const QByteArray& body) {
    handle(path, [status, body](const Request&) { return Reply{status, body, {}}; });
}

void HttpsTestServer::handle(const QString& path, Handler handler) {
    addRoute(path, Route{nullptr, std::move(handler), {}, -1});
}

void HttpsTestServer::addRoute(const QString& path, Route route) {
    std::lock_guard lock(m_mutex);
    Route& existing = m_routes[path];
    route.faults = std::move(existing.faults);
    route.expected = existing.expected;
    existing = std::move(route);
}

void HttpsTestServer::closeAfter(const QString& path, qint64 bodyBytes, int requests) {
    addFaults(path, Fault{Fault::Kind::CloseAfter, bodyBytes, {}, {}}, requests);
}

void HttpsTestServer::stallAfterHeaders(const QString& path, int requests) {
    addFaults(path, Fault{Fault::Kind::Stall, 0, {}, {}}, requests);
}

void HttpsTestServer::sendExtraBytes(const QString& path, qint64 extraBytes, int requests) {
    addFaults(path, Fault{Fault::Kind::ExtraBytes, extraBytes, {}, {}}, requests);
}

void HttpsTestServer::overstateLength(const QString& path, qint64 missingBytes, int requests) {
    addFaults(path, Fault{Fault::Kind::Overstate, missingBytes, {}, {}}, requests);
}

void HttpsTestServer::trickle(const QString& path, int requests) {
    addFaults(path, Fault{Fault::Kind::Trickle, 0, {}, {}}, requests);
}

void HttpsTestServer::tamper(const QString& path, int requests) {
    addFaults(path, Fault{Fault::Kind::Tamper, 0, {}, {}}, requests);
}

void HttpsTestServer::refuse(const QString& path, int status, int requests) {
    addFaults(path, Fault{Fault::Kind::Refuse, status, {}, {}}, requests);
}

void HttpsTestServer::observe(Observer observer) {
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

void HttpsTestServer::replaceContent(const QString& path, const QByteArray& content,
                                     std::optional<ContentOptions> options) {
    addFaults(path, Fault{Fault::Kind::Replace, 0, content, std::move(options)}, 1);
}

void HttpsTestServer::addFaults(const QString& path, Fault fault, int requests) {
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < requests; ++i)
        m_routes[path].faults.push_back(fault);
}

void HttpsTestServer::expect(const QString& path, int requests) {
    std::lock_guard lock(m_mutex);
    m_routes[path].expected = requests;
}

QStringList HttpsTestServer::problems() const {
    std::lock_guard lock(m_mutex);
    QStringList problems = m_unexpected;
    for (const auto& [path, route] : m_routes) {
        if (route.expected < 0)
            continue;
        const auto count = std::count_if(m_requests.begin(), m_requests.end(),
                                         [&](const Request& r) { return r.path == path; });
        if (count != route.expected)
            problems << QStringLiteral("%1 expected %2 requests, got %3")
                            .arg(path)
                            .arg(route.expected)
                            .arg(count);
    }
    return problems;
}

std::vector<HttpsTestServer::Request> HttpsTestServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<HttpsTestServer::Request> HttpsTestServer::requests(const QString& path) const {
    std::vector<Request> matching;
    for (Request& request : requests())
        if (request.path == path)
            matching.push_back(std::move(request));
    return matching;
}

bool HttpsTestServer::waitForRequests(const QString& path, int count,
                                      std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        return std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const Request& r) { return r.path == path; }) >= count;
    });
}

qint64 HttpsTestServer::bodyBytesSent() const {
    std::lock_guard lock(m_mutex);
    return m_bodyBytesSent;
}

bool HttpsTestServer::pause(std::chrono::milliseconds duration) const {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, duration, [this] { return m_stopping; });
}

void HttpsTestServer::dispatch(const httplib::Request& raw, httplib::Response& response) {
    Request request;
    request.method = QString::fromStdString(raw.method);
    request.path = QString::fromStdString(raw.path);
    const QByteArray target = QByteArray::fromStdString(raw.target);
    if (const qsizetype question = target.indexOf('?'); question >= 0)
        request.query = QString::fromUtf8(target.mid(question + 1));
    for (const auto& [name, value] : raw.headers)
        request.headers.insert(QString::fromStdString(name).toLower(),
                               QString::fromStdString(value));
    request.body = QByteArray::fromStdString(raw.body);
    // Ranges are answered here, not by the library, which gets them wrong past the end.
    const_cast<httplib::Request&>(raw).ranges.clear();

    std::shared_ptr<const Content> content;
    Handler handler;
    std::optional<Fault> fault;
    Observer observer;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        const auto route = m_routes.find(request.path);
        if (route == m_routes.end() || (!route->second.content && !route->second.handler)) {
            m_unexpected << QStringLiteral("unexpected %1 %2").arg(request.method, request.path);
        } else {
            if (!route->second.faults.empty()) {
                fault = route->second.faults.front();
                route->second.faults.pop_front();
            }
            if (fault && fault->kind == Fault::Kind::Replace) {
                auto replaced = std::make_shared<Content>(*route->second.content);
                replaced->bytes = fault->content;
                replaced->filePath.clear();
                replaced->size = fault->content.size();
                if (fault->options)
                    replaced->options = *fault->options;
                replaced->etag = replaced->options.etag ? etagOf(fault->content) : QByteArray();
                if (!replaced->lastModified.isEmpty())
                    replaced->lastModified = httpDate(QDateTime::currentDateTimeUtc());
                route->second.content = replaced;
                fault.reset();
            }
            content = route->second.content;
            handler = route->second.handler;
        }
        observer = m_observer;
    }
    m_changed.notify_all();
    if (observer)
        observer(request, fault.has_value());

    if (handler) {
        const Reply reply = handler(request);
        response.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            response.set_header(name.toStdString(), value.toStdString());
        response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
        return;
    }
    if (content && fault && fault->kind == Fault::Kind::Refuse) {
        response.status = int(fault->bytes);
        response.set_content("<html><body>Not Found</body></html>", "text/html");
        return;
    }
    if (!content) {
        response.status = 404;
        response.set_content("not found", "text/plain");
        return;
    }
    serveContent(content, fault, request, response);
}

void HttpsTestServer::serveContent(const std::shared_ptr<const Content>& content,
                                   const std::optional<Fault>& fault, const Request& request,
                                   httplib::Response& response) {
    if (!content->options.contentDisposition.isEmpty())
        response.set_header("Content-Disposition",
                            content->options.contentDisposition.toStdString());
    if (!content->etag.isEmpty())
        response.set_header("ETag", content->etag.toStdString());
    if (!content->lastModified.isEmpty())
        response.set_header("Last-Modified", content->lastModified.toStdString());
    response.status = 200;
    if (content->options.chunked) {
        sendBody(content, 0, -1, fault, response);
        return;
    }
    if (content->options.ranges)
        response.set_header("Accept-Ranges", "bytes");
    qint64 first = 0;
    qint64 length = content->size;
    const QString ifRange = request.headers.value(QStringLiteral("if-range"));
    const bool rangeApplies =
        content->options.ranges && request.headers.contains(QStringLiteral("range")) &&
        (!content->options.ifRange || ifRange.isNull() || ifRange.toUtf8() == content->etag ||
         ifRange.toUtf8() == content->lastModified);
    const std::optional<HttpsTestServer::ByteRange> range =
        rangeApplies ? parseRange(request.headers.value(QStringLiteral("range")).toStdString(),
                                  content->size)
                     : std::nullopt;
    if (range && range->first >= content->size) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(content->size));
        return;
    }
    if (range) {
        response.status = 206;
        first = range->first;
        length = range->last - range->first + 1;
        response.set_header("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                 std::to_string(range->last) + "/" +
                                                 std::to_string(content->size));
    }
    sendBody(content, first, length, fault, response);
}

// Sends `length` bytes of the content from `first` (length -1: all of it, chunked), as the
// fault allows.
void HttpsTestServer::sendBody(const std::shared_ptr<const Content>& content, qint64 first,
                               qint64 length, const std::optional<Fault>& fault,
                               httplib::Response& response) {
    const bool chunked = length < 0;
    const qint64 total = chunked ? content->size - first : length;
    qint64 limit = total;
    if (fault && fault->kind == Fault::Kind::CloseAfter)
        limit = std::min(fault->bytes, total);
    if (fault && fault->kind == Fault::Kind::Stall)
        limit = -1;
    const qint64 extra = fault && fault->kind == Fault::Kind::ExtraBytes ? fault->bytes : 0;
    const qint64 announced =
        total + (fault && fault->kind == Fault::Kind::Overstate ? fault->bytes : 0);
    const bool trickles = fault && fault->kind == Fault::Kind::Trickle;
    const qint64 tampered = fault && fault->kind == Fault::Kind::Tamper ? content->size / 2 : -1;
    auto file = std::make_shared<QFile>(content->filePath);
    if (!content->filePath.isEmpty() && !file->open(QIODevice::ReadOnly)) {
        response.status = 500;
        return;
    }
    auto provide = [this, content, first, total, announced, limit, extra, trickles, tampered, file,
                    chunked](size_t offset, httplib::DataSink& sink) -> bool {
        const qint64 at = qint64(offset);
        if (limit < 0) {
            (void)pause(kLongestStall);
            return false;
        }
        if (at >= limit) {
            if (limit < announced)
                return false;
            if (chunked)
                sink.done();
            return true;
        }
        if (trickles && at > 0 && !pause(kTrickleInterval))
            return false;
        qint64 size = std::min(trickles ? kTricklePiece : kPieceSize, limit - at);
        // A tenth of the rate every tenth of a second.
        if (content->options.rate > 0) {
            size = std::min(size, std::max<qint64>(1, content->options.rate / 10));
            if (!pause(std::chrono::milliseconds(100)))
                return false;
        }
        QByteArray piece;
        if (content->filePath.isEmpty()) {
            piece = content->bytes.mid(first + at, size);
        } else {
            file->seek(first + at);
            piece = file->read(size);
        }
        if (first + at <= tampered && tampered < first + at + piece.size())
            piece[tampered - first - at] ^= 0x01;
        if (at + size == total && extra > 0)
            piece.append(QByteArray(extra, 'x'));
        if (!sink.write(piece.constData(), size_t(piece.size())))
            return false;
        std::lock_guard lock(m_mutex);
        m_bodyBytesSent += piece.size();
        return true;
    };
    if (chunked) {
        response.set_chunked_content_provider(
            "application/octet-stream",
            [provide](size_t offset, httplib::DataSink& sink) { return provide(offset, sink); });
        return;
    }
    if (total == 0 && limit == 0) {
        response.set_content("", "application/octet-stream");
        return;
    }
    response.set_content_provider(size_t(announced), "application/octet-stream",
                                  [provide](size_t offset, size_t, httplib::DataSink& sink) {
                                      return provide(offset, sink);
                                  });
}
