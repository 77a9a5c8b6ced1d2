#pragma once

#include "Collector.h"
#include "HttpsTestServer.h"

#include <QString>
#include <memory>

// One HTTPS server (on 127.0.0.1 unless told otherwise) playing the three outside services of the
// installer:
//   /go.php?pid=..&m=c1..c6   the link service: redirects to the package, the disk image,
//                             two small pages and the signatures of the two (<name>.sig)
//   /packages/<name>          the package server (the files of the package folder when it
//                             starts, with ranges and validators)
//   /collect                  the analytics collector of classic hits (GET or POST of pairs)
//   /mp/collect               GA4 events (POST of JSON), validated; /debug/mp/collect answers
//                             with the validation messages. One readable line per hit or
//                             event on standard output, one JSON object each in hits.jsonl
// It is the scripted test server with these routes, so the demo and the tests share one
// implementation of ranges, validators and faults.
class DevServer {
public:
    // What goes wrong with transfers of the package, for rehearsing failures.
    // Signatures (<name>.sig) never suffer one; Tamper flips one byte of the package.
    enum class Fault { None, DropAfter, NotFound, Stall, Tamper };

    struct Options {
        QString packageFolder;
        QString stateFolder; // certificate, key and hits.jsonl
        QString package = QStringLiteral("Scribora.zip");
        QString diskImage = QStringLiteral("Scribora.dmg");
        // The address to listen on; the certificate names it besides 127.0.0.1 and localhost.
        QString host = QStringLiteral("127.0.0.1");
        int port = 8443;
        Fault fault = Fault::None;
        qint64 dropAfter = 0;
        // How many package transfers suffer the fault; later ones succeed.
        int faultTimes = 1;
        // Package bytes sent per second, to watch a download's progress; 0: as fast as it goes.
        qint64 rate = 0;
    };

    explicit DevServer(Options options);
    ~DevServer();

    // Makes the certificate when needed and serves on its own threads until stop(); false
    // with a line on standard error.
    [[nodiscard]] bool start();
    void stop();

    [[nodiscard]] QString certificatePath() const;
    [[nodiscard]] QString hitsPath() const;
    [[nodiscard]] int port() const { return m_server ? m_server->port() : 0; }
    // One line per kind and name of the hits received so far, with its count.
    [[nodiscard]] QString hitsSummary() const { return m_collector.summary(); }

private:
    using Request = HttpsTestServer::Request;
    using Reply = HttpsTestServer::Reply;

    void servePackages();
    [[nodiscard]] Reply redirect(const Request& request) const;
    [[nodiscard]] Reply collect(const Request& request);
    [[nodiscard]] Reply collectMeasurement(const Request& request, bool answersMessages);

    Options m_options;
    Collector m_collector;
    std::unique_ptr<HttpsTestServer> m_server;
};
