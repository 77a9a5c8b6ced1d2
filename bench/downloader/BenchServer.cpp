// Serves one file over HTTPS on 127.0.0.1 for the download benchmark, optionally breaking the
// connection a number of times spread evenly over the file. Prints the address and the
// certificate to trust, then serves until standard input closes.

#include "HttpsTestServer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tq_bench_https_server FILE [DROPS]\n");
        return 2;
    }
    const QFileInfo file(QString::fromLocal8Bit(argv[1]));
    const int drops = argc == 3 ? std::atoi(argv[2]) : 0;
    HttpsTestServer server;
    if (!server.isRunning() || !file.isFile())
        return 1;
    const QString path = QLatin1Char('/') + file.fileName();
    server.serveFile(path, file.absoluteFilePath());
    if (drops > 0)
        server.closeAfter(path, file.size() / (drops + 1), drops);
    std::printf("url: %s\nca: %s\n", server.url(path).toEncoded().constData(),
                server.certificatePath().toLocal8Bit().constData());
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    std::printf("body_bytes_sent: %lld\n", static_cast<long long>(server.bodyBytesSent()));
    return 0;
}
