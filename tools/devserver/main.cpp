// devserver: the link service, package server and analytics collector of the demo.
//   devserver --folder build/examples --state /tmp/devserver [--host 127.0.0.1] [--port 8443]
//             [--package Scribora.zip] [--image Scribora.dmg] [--print-hits]
//             [--fault drop:N|404|stall|tamper] [--fault-times K] [--rate BYTES_PER_SECOND]
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
        "Link service, package server and analytics collector over HTTPS.");
    parser.addHelpOption();
    const QCommandLineOption host("host", "Address to listen on.", "address", "127.0.0.1");
    const QCommandLineOption port("port", "Port to listen on (0 picks a free one).", "port",
                                  "8443");
    const QCommandLineOption folder("folder", "Folder of the packages.", "folder");
    const QCommandLineOption state("state", "Folder for the certificate and hits.jsonl.", "state");
    const QCommandLineOption package("package", "The package that link c1 leads to.", "name",
                                     "Scribora.zip");
    const QCommandLineOption image("image", "The disk image that link c2 leads to.", "name",
                                   "Scribora.dmg");
    const QCommandLineOption printHits("print-hits",
                                       "Prints a summary of the hits received on exit.");
    const QCommandLineOption fault(
        "fault", "Fault of package transfers: drop:N, 404, stall or tamper.", "fault");
    const QCommandLineOption faultTimes("fault-times", "How many transfers suffer the fault.",
                                        "count", "1");
    const QCommandLineOption rate("rate", "Package bytes sent per second (0: unlimited).", "bytes",
                                  "0");
    parser.addOptions(
        {host, port, folder, state, package, image, printHits, fault, faultTimes, rate});
    parser.process(app);

    DevServer::Options options;
    options.packageFolder = QDir(parser.value(folder)).absolutePath();
    options.stateFolder = parser.isSet(state) ? QDir(parser.value(state)).absolutePath()
                                              : options.packageFolder + "/devserver";
    options.host = parser.value(host);
    options.port = parser.value(port).toInt();
    options.package = parser.value(package);
    options.diskImage = parser.value(image);
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
    std::printf("devserver: https://%s:%d/ serving %s\n", qPrintable(options.host), server.port(),
                qPrintable(options.packageFolder));
    std::printf("devserver: CURL_CA_BUNDLE=%s\n", qPrintable(server.certificatePath()));
    std::printf("devserver: hits in %s\n", qPrintable(server.hitsPath()));
    std::fflush(stdout);
    Platform::Signals::waitForStopSignal();
    server.stop();
    if (parser.isSet(printHits))
        std::printf("devserver: hits received\n%s", qPrintable(server.hitsSummary()));
    return 0;
}
