#pragma once

#include "Collector.h"

#include <QFile>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

// One HTTPS server (on 127.0.0.1 unless told otherwise) playing the three outside services of the
// installer:
//   /go.php?pid=..&m=c1..c6   the link service: redirects to the package, the disk image,
//                             two small pages and the signatures of the two (<name>.sig)
//   /packages/<name>          the package server (files of the package folder, with ranges)
//   /collect                  the analytics collector of classic hits (GET or POST of pairs)
//   /mp/collect               GA4 events (POST of JSON), validated; /debug/mp/collect answers
//                             with the validation messages. One readable line per hit or
//                             event on standard output, one JSON object each in hits.jsonl
class DevServer {
public:
    // What goes wrong with a package transfer, for rehearsing failures.
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

    // Makes the certificate when needed and binds; false with a line on standard error.
    [[nodiscard]] bool start();
    // Serves until stop() is called from another thread or a signal handler's thread.
    void run();
    void stop();

    [[nodiscard]] QString certificatePath() const;
    [[nodiscard]] QString hitsPath() const;
    [[nodiscard]] int port() const { return m_port; }
    // One line per kind and name of the hits received so far, with its count.
    [[nodiscard]] QString hitsSummary() const { return m_collector.summary(); }

private:
    [[nodiscard]] bool makeCertificate() const;
    [[nodiscard]] bool certificateNamesHost() const;
    void redirect(const httplib::Request& request, httplib::Response& response) const;
    void servePackage(const httplib::Request& request, httplib::Response& response);
    void collect(const httplib::Request& request, httplib::Response& response);
    void collectMeasurement(const httplib::Request& request, httplib::Response& response,
                            bool answersMessages);
    [[nodiscard]] bool takeFault();

    Options m_options;
    std::unique_ptr<httplib::SSLServer> m_server;
    int m_port = 0;
    Collector m_collector;
    std::atomic<int> m_faultsLeft{0};
    // Set by stop(): a stalled transfer ends, so the server's threads can be joined.
    std::atomic<bool> m_stopping{false};
};
