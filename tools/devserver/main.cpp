// devserver: the link service, package server and analytics collector of the demo.
//   devserver --folder build/examples --state /tmp/devserver [--port 8443]
//             [--package Scribora.zip] [--fault drop:N|404|stall|tamper] [--fault-times K]
//             [--rate BYTES_PER_SECOND]
// Trust its certificate with CURL_CA_BUNDLE=<state>/cert.pem. Stops on SIGINT or SIGTERM.
#include "DevServer.h"
#include "Platform/Signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

bool parseFault(const QString& text, DevServer::Options& options) {
    if (text == QStringLiteral("404")) {
        options.fault = DevServer::Fault::NotFound;
        return true;
    }
    if (text == QStringLiteral("stall")) {
        options.fault = DevServer::Fault::Stall;
        return true;
    }
    if (text == QStringLiteral("tamper")) {
        options.fault = DevServer::Fault::Tamper;
        return true;
    }
    bool ok = false;
    if (text.startsWith(QStringLiteral("drop:")))
        options.dropAfter = text.mid(5).toLongLong(&ok);
    options.fault = DevServer::Fault::DropAfter;
    return ok && options.dropAfter >= 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Link service, package server and analytics collector on 127.0.0.1.");
    parser.addHelpOption();
    const QCommandLineOption port("port", "Port to listen on (0 picks a free one).", "port",
                                  "8443");
    const QCommandLineOption folder("folder", "Folder of the packages.", "folder");
    const QCommandLineOption state("state", "Folder for the certificate and hits.jsonl.", "state");
    const QCommandLineOption package("package", "The package that link c1 leads to.", "name",
                                     "Scribora.zip");
    const QCommandLineOption fault(
        "fault", "Fault of package transfers: drop:N, 404, stall or tamper.", "fault");
    const QCommandLineOption faultTimes("fault-times", "How many transfers suffer the fault.",
                                        "count", "1");
    const QCommandLineOption rate("rate", "Package bytes sent per second (0: unlimited).", "bytes",
                                  "0");
    parser.addOptions({port, folder, state, package, fault, faultTimes, rate});
    parser.process(app);

    DevServer::Options options;
    options.packageFolder = QDir(parser.value(folder)).absolutePath();
    options.stateFolder = parser.isSet(state) ? QDir(parser.value(state)).absolutePath()
                                              : options.packageFolder + "/devserver";
    options.port = parser.value(port).toInt();
    options.package = parser.value(package);
    options.faultTimes = parser.value(faultTimes).toInt();
    options.rate = parser.value(rate).toLongLong();
    if (!parser.isSet(folder) || (parser.isSet(fault) && !parseFault(parser.value(fault), options)))
        parser.showHelp(2);

    // Blocked before the server's threads start, so they inherit it and only the wait sees
    // a stop signal.
    Platform::Signals::holdBackStopSignals();
    DevServer server(options);
    if (!server.start())
        return 1;
    std::printf("devserver: https://127.0.0.1:%d/ serving %s\n", server.port(),
                qPrintable(options.packageFolder));
    std::printf("devserver: CURL_CA_BUNDLE=%s\n", qPrintable(server.certificatePath()));
    std::printf("devserver: hits in %s\n", qPrintable(server.hitsPath()));
    std::fflush(stdout);
    Platform::Signals::waitForStopSignal();
    server.stop();
    return 0;
}
