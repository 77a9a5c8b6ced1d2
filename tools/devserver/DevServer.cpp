#include "DevServer.h"
#include "HttpsTestServer.h"

#include "Platform/FileDescriptor.h"
#include "Platform/Process.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrlQuery>
#include <chrono>
#include <cstdio>
#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <optional>
#include <thread>

namespace {

using Platform::FileDescriptor;

QString decoded(const std::string& text) {
    return QUrl::fromPercentEncoding(QByteArray::fromStdString(text).replace('+', ' '));
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

const char* pageBody(const QString& code) {
    if (code == QStringLiteral("c3"))
        return "<html><body><h1>Privacy Policy</h1><p>Scribora keeps what you write on your "
               "machine.</p></body></html>";
    return "<html><body><h1>End User Licence Agreement</h1><p>Use Scribora as you "
           "like.</p></body></html>";
}

} // namespace

DevServer::DevServer(Options options) : m_options(std::move(options)), m_collector(hitsPath()) {
    m_faultsLeft = m_options.fault == Fault::None ? 0 : m_options.faultTimes;
}

DevServer::~DevServer() = default;

QString DevServer::certificatePath() const {
    return m_options.stateFolder + QStringLiteral("/cert.pem");
}

QString DevServer::hitsPath() const {
    return m_options.stateFolder + QStringLiteral("/hits.jsonl");
}

// A certificate made for another --host is made anew.
bool DevServer::certificateNamesHost() const {
    const QByteArray path = QFile::encodeName(certificatePath());
    const QByteArray host = m_options.host.toUtf8();
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.constData(), "r"),
                                                       &std::fclose);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, &X509_free);
    return certificate &&
           (isWildcard(m_options.host) ||
            X509_check_ip_asc(certificate.get(), host.constData(), 0) == 1 ||
            X509_check_host(certificate.get(), host.constData(), 0, 0, nullptr) == 1);
}

bool DevServer::makeCertificate() const {
    const QString key = m_options.stateFolder + QStringLiteral("/key.pem");
    if (QFileInfo::exists(key) && certificateNamesHost())
        return true;
    QString names = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
    if (!isWildcard(m_options.host))
        names += (isAddress(m_options.host) ? QStringLiteral(",IP:") : QStringLiteral(",DNS:")) +
                 m_options.host;
    Platform::Process openssl;
    openssl.setLaunchPath(QStandardPaths::findExecutable(QStringLiteral("openssl")));
    openssl.setArguments({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                          "/CN=" + m_options.host, "-addext", names, "-keyout", key, "-out",
                          certificatePath()});
    openssl.setStandardOutput(Platform::Process::Stream::Pipe);
    openssl.setStandardErrorToOutput();
    const std::optional<QByteArray> output =
        openssl.launch() ? openssl.readStandardOutputToEnd() : std::nullopt;
    if (!output || !openssl.waitUntilExit() || openssl.terminatedBySignal() ||
        openssl.terminationStatus() != 0) {
        std::fprintf(stderr, "devserver: cannot make a certificate: %s\n",
                     output ? output->constData() : qPrintable(openssl.errorString()));
        return false;
    }
    return true;
}

bool DevServer::start() {
    if (!QDir().mkpath(m_options.stateFolder) || !makeCertificate())
        return false;
    const QByteArray certificate = QFile::encodeName(certificatePath());
    const QByteArray key = QFile::encodeName(m_options.stateFolder + QStringLiteral("/key.pem"));
    m_server = std::make_unique<httplib::SSLServer>(certificate.constData(), key.constData());
    if (!m_server->is_valid()) {
        std::fprintf(stderr, "devserver: the certificate or key is unusable\n");
        return false;
    }
    m_server->Get("/go.php", [this](const httplib::Request& request, httplib::Response& response) {
        redirect(request, response);
    });
    m_server->Get(R"(/packages/([^/]+))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      servePackage(request, response);
                  });
    m_server->Get(R"(/pages/(c[34])\.html)",
                  [](const httplib::Request& request, httplib::Response& response) {
                      response.set_content(pageBody(QString::fromStdString(request.matches[1])),
                                           "text/html; charset=utf-8");
                  });
    const auto collector = [this](const httplib::Request& request, httplib::Response& response) {
        collect(request, response);
    };
    m_server->Get("/collect", collector);
    m_server->Post("/collect", collector);
    m_server->Post("/mp/collect",
                   [this](const httplib::Request& request, httplib::Response& response) {
                       collectMeasurement(request, response, false);
                   });
    m_server->Post("/debug/mp/collect",
                   [this](const httplib::Request& request, httplib::Response& response) {
                       collectMeasurement(request, response, true);
                   });
    const std::string host = m_options.host.toStdString();
    if (m_options.port == 0)
        m_port = m_server->bind_to_any_port(host);
    else
        m_port = m_server->bind_to_port(host, m_options.port) ? m_options.port : -1;
    if (m_port <= 0) {
        std::fprintf(stderr, "devserver: cannot listen on %s:%d\n", host.c_str(), m_options.port);
        return false;
    }
    return true;
}

void DevServer::run() {
    m_server->listen_after_bind();
}

void DevServer::stop() {
    m_stopping = true;
    if (m_server)
        m_server->stop();
}

void DevServer::redirect(const httplib::Request& request, httplib::Response& response) const {
    const QString code = QString::fromStdString(request.get_param_value("m"));
    // The address the client used, so that a server reached from another machine sends it on
    // to itself.
    const QString host = QString::fromStdString(request.get_header_value("Host"));
    const QString base =
        QStringLiteral("https://") +
        (host.isEmpty() ? QStringLiteral("%1:%2").arg(m_options.host).arg(m_port) : host);
    // Any file name: spaces and other characters travel percent-encoded.
    const auto package = [&base](const QString& name) {
        return base + QStringLiteral("/packages/") +
               QString::fromLatin1(QUrl::toPercentEncoding(name));
    };
    QString target;
    if (code == QStringLiteral("c1"))
        target = package(m_options.package);
    else if (code == QStringLiteral("c2"))
        target = package(m_options.diskImage);
    else if (code == QStringLiteral("c5"))
        target = package(m_options.package + QStringLiteral(".sig"));
    else if (code == QStringLiteral("c6"))
        target = package(m_options.diskImage + QStringLiteral(".sig"));
    else if (code == QStringLiteral("c3") || code == QStringLiteral("c4"))
        target = base + QStringLiteral("/pages/") + code + QStringLiteral(".html");
    if (target.isEmpty()) {
        response.status = 404;
        response.set_content("unknown link code\n", "text/plain");
        return;
    }
    std::printf("link  pid=%s m=%s -> %s\n", request.get_param_value("pid").c_str(),
                qPrintable(code), qPrintable(target));
    std::fflush(stdout);
    response.set_redirect(target.toStdString(), 302);
}

bool DevServer::takeFault() {
    int left = m_faultsLeft.load();
    while (left > 0 && !m_faultsLeft.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}

void DevServer::servePackage(const httplib::Request& request, httplib::Response& response) {
    const QString name = QString::fromStdString(request.matches[1]);
    const QString path = m_options.packageFolder + QLatin1Char('/') + name;
    const bool faulty = !name.endsWith(QStringLiteral(".sig")) && takeFault();
    std::printf("package %s%s%s\n", qPrintable(name),
                request.has_header("Range") ? (" " + request.get_header_value("Range")).c_str()
                                            : "",
                faulty ? " (fault)" : "");
    std::fflush(stdout);
    // Only plain names of the package folder; nothing above it.
    const bool plainName = !name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.'));
    auto file = std::make_shared<FileDescriptor>(plainName ? FileDescriptor::openForReading(path)
                                                           : FileDescriptor());
    if ((faulty && m_options.fault == Fault::NotFound) || !file->isRegularFile()) {
        response.status = 404;
        response.set_content("<html><body>Not Found</body></html>", "text/html");
        return;
    }
    const qint64 size = file->size();
    const auto range = HttpsTestServer::parseRange(request.get_header_value("Range"), size);
    if (range && range->first >= size) {
        response.status = 416;
        response.set_header("Content-Range", QStringLiteral("bytes */%1").arg(size).toStdString());
        return;
    }
    // A satisfiable range is cut out by httplib itself from the whole file's provider.
    response.set_header("Accept-Ranges", "bytes");
    response.set_header("Last-Modified", "Sun, 06 Dec 2026 00:00:00 GMT");
    const Fault fault = faulty ? m_options.fault : Fault::None;
    auto budget = std::make_shared<qint64>(fault == Fault::DropAfter ? m_options.dropAfter : -1);
    response.set_content_provider(
        size_t(size), "application/octet-stream",
        [this, file, fault, budget, middle = size / 2](size_t offset, size_t length,
                                                       httplib::DataSink& sink) {
            if (fault == Fault::Stall) {
                for (int i = 0; i < 1200 && sink.is_writable() && !m_stopping; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return false;
            }
            char buffer[64 * 1024];
            size_t chunk = std::min(sizeof buffer, length);
            // A tenth of the rate every tenth of a second.
            if (m_options.rate > 0) {
                chunk = std::min(chunk, size_t(std::max<qint64>(1, m_options.rate / 10)));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (m_stopping)
                    return false;
            }
            if (*budget >= 0) {
                if (*budget == 0)
                    return false;
                chunk = std::min(chunk, size_t(*budget));
            }
            const qint64 read = file->readAt(qint64(offset), buffer, qint64(chunk));
            if (fault == Fault::Tamper && qint64(offset) <= middle &&
                middle < qint64(offset) + read)
                buffer[middle - qint64(offset)] ^= 0x01;
            if (read <= 0 || !sink.write(buffer, size_t(read)))
                return false;
            if (*budget >= 0)
                *budget -= read;
            return true;
        });
}

void DevServer::collect(const httplib::Request& request, httplib::Response& response) {
    QList<QPair<QString, QString>> pairs;
    for (const auto& [key, value] : request.params)
        pairs.append({decoded(key), decoded(value)});
    for (const QString& pair : QString::fromStdString(request.body).split(QLatin1Char('&'))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0)
            pairs.append({decoded(pair.left(equals).toStdString()),
                          decoded(pair.mid(equals + 1).toStdString())});
    }
    m_collector.collectHit(pairs);
    response.status = 200;
    response.set_content("", "image/gif");
}

// Like the real endpoints: /mp/collect answers 204 whatever it got, the debug one the messages.
void DevServer::collectMeasurement(const httplib::Request& request, httplib::Response& response,
                                   bool answersMessages) {
    QList<QPair<QString, QString>> query;
    for (const auto& [key, value] : request.params)
        query.append({QString::fromStdString(key), QString::fromStdString(value)});
    const QJsonArray messages = m_collector.collectMeasurement(
        query, QByteArray::fromStdString(request.body),
        QString::fromStdString(request.get_header_value("User-Agent")));
    if (!answersMessages) {
        response.status = 204;
        return;
    }
    response.set_content(
        QJsonDocument(QJsonObject{{"validationMessages", messages}}).toJson().toStdString(),
        "application/json");
}
