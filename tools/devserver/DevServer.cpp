#include "DevServer.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <algorithm>
#include <cstdio>

namespace {

QList<QPair<QString, QString>> pairsOf(const QByteArray& encoded) {
    QByteArray spaced = encoded;
    return QUrlQuery(QString::fromUtf8(spaced.replace('+', ' '))).queryItems(QUrl::FullyDecoded);
}

QByteArray pageBody(const QString& path) {
    if (path.endsWith(QStringLiteral("c3.html")))
        return "<html><body><h1>Privacy Policy</h1><p>Scribora keeps what you write on your "
               "machine.</p></body></html>";
    return "<html><body><h1>End User Licence Agreement</h1><p>Use Scribora as you "
           "like.</p></body></html>";
}

} // namespace

DevServer::DevServer(Options options) : m_options(std::move(options)), m_collector(hitsPath()) {}

DevServer::~DevServer() = default;

QString DevServer::certificatePath() const {
    return m_options.stateFolder + QStringLiteral("/cert.pem");
}

QString DevServer::hitsPath() const {
    return m_options.stateFolder + QStringLiteral("/hits.jsonl");
}

bool DevServer::start() {
    if (!QDir().mkpath(m_options.stateFolder)) {
        std::fprintf(stderr, "devserver: cannot make %s\n", qPrintable(m_options.stateFolder));
        return false;
    }
    m_server = std::make_unique<HttpsTestServer>(
        HttpsTestServer::Listen{m_options.host, m_options.port, m_options.stateFolder});
    if (!m_server->isRunning()) {
        std::fprintf(stderr, "devserver: cannot listen on %s:%d with a certificate in %s\n",
                     qPrintable(m_options.host), m_options.port, qPrintable(m_options.stateFolder));
        m_server.reset();
        return false;
    }
    m_server->handle(QStringLiteral("/go.php"),
                     [this](const Request& request) { return redirect(request); });
    for (const char* code : {"c3", "c4"})
        m_server->handle(QStringLiteral("/pages/%1.html").arg(code), [](const Request& request) {
            return Reply{200, pageBody(request.path), {}, "text/html; charset=utf-8"};
        });
    m_server->handle(QStringLiteral("/collect"),
                     [this](const Request& request) { return collect(request); });
    m_server->handle(QStringLiteral("/mp/collect"),
                     [this](const Request& request) { return collectMeasurement(request, false); });
    m_server->handle(QStringLiteral("/debug/mp/collect"),
                     [this](const Request& request) { return collectMeasurement(request, true); });
    servePackages();
    return true;
}

void DevServer::stop() {
    m_server.reset();
}

void DevServer::servePackages() {
    HttpsTestServer::ContentOptions options;
    options.lastModified = "Sun, 06 Dec 2026 00:00:00 GMT";
    options.rate = m_options.rate;
    const QDir folder(m_options.packageFolder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Readable))
        m_server->serveFile(QStringLiteral("/packages/") + name, folder.filePath(name), options);
    const QString package = QStringLiteral("/packages/") + m_options.package;
    const int times = m_options.faultTimes;
    switch (m_options.fault) {
    case Fault::None:
        break;
    case Fault::DropAfter:
        m_server->closeAfter(package, m_options.dropAfter, times);
        break;
    case Fault::NotFound:
        m_server->refuse(package, 404, times);
        break;
    case Fault::Stall:
        m_server->stallAfterHeaders(package, times);
        break;
    case Fault::Tamper:
        m_server->tamper(package, times);
        break;
    }
    m_server->observe([](const Request& request, bool faulty) {
        if (!request.path.startsWith(QStringLiteral("/packages/")))
            return;
        const QString range = request.headers.value(QStringLiteral("range"));
        std::printf("package %s%s%s\n", qPrintable(request.path.mid(10)),
                    range.isNull() ? "" : qPrintable(QLatin1Char(' ') + range),
                    faulty ? " (fault)" : "");
        std::fflush(stdout);
    });
}

HttpsTestServer::Reply DevServer::redirect(const Request& request) const {
    const QUrlQuery query(request.query);
    const QString code = query.queryItemValue(QStringLiteral("m"));
    // The address the client used, so that a server reached from another machine sends it on
    // to itself.
    const QString host = request.headers.value(QStringLiteral("host"));
    const QString base =
        host.isEmpty() ? m_server->url(QString()).toString() : QStringLiteral("https://") + host;
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
    if (target.isEmpty())
        return Reply{404, "unknown link code\n", {}, "text/plain"};
    std::printf("link  pid=%s m=%s -> %s\n",
                qPrintable(query.queryItemValue(QStringLiteral("pid"))), qPrintable(code),
                qPrintable(target));
    std::fflush(stdout);
    return Reply{302, {}, {{"Location", target.toUtf8()}}};
}

// The pairs of the address in the order of their names, as the collector has always shown
// them, then those of the body as sent.
HttpsTestServer::Reply DevServer::collect(const Request& request) {
    QList<QPair<QString, QString>> pairs = pairsOf(request.query.toUtf8());
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    m_collector.collectHit(pairs + pairsOf(request.body));
    return Reply{200, {}, {}, "image/gif"};
}

// Like the real endpoints: /mp/collect answers 204 whatever it got, the debug one the messages.
HttpsTestServer::Reply DevServer::collectMeasurement(const Request& request, bool answersMessages) {
    QList<QPair<QString, QString>> query;
    for (const auto& [key, value] : QUrlQuery(request.query).queryItems(QUrl::FullyDecoded))
        query.append({key, value});
    const QJsonArray messages = m_collector.collectMeasurement(
        query, request.body, request.headers.value(QStringLiteral("user-agent")));
    if (!answersMessages)
        return Reply{204, {}, {}};
    return Reply{200,
                 QJsonDocument(QJsonObject{{"validationMessages", messages}}).toJson(),
                 {},
                 "application/json"};
}
