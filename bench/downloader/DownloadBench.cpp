// Downloads one address with TQDownloader into a folder and prints what it took.
// Trusts the certificate named by CURL_CA_BUNDLE, as curl does.

#include "Platform/Log.h"
#include "Platform/URLSession.h"
#include "TQDownloader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <sys/resource.h>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tq_download_bench URL DIR\n");
        return 2;
    }
    const QUrl url = QUrl::fromUserInput(QString::fromLocal8Bit(argv[1]));
    std::atomic<int> failures{0};
    Platform::Log::setObserver([&](const QString& line) {
        if (line.startsWith(QStringLiteral("Download of ")))
            ++failures;
    });

    std::promise<QUrl> finished;
    const auto started = std::chrono::steady_clock::now();
    {
        TQDownloader downloader(QString::fromLocal8Bit(argv[2]));
        downloader.download(url, nullptr,
                            [&](const QUrl& location) { finished.set_value(location); });
        const QUrl location = finished.get_future().get();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const qint64 bytes = location.isEmpty() ? 0 : QFileInfo(location.toLocalFile()).size();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("result: %s\n",
                    location.isEmpty() ? "nil" : location.toLocalFile().toLocal8Bit().constData());
        std::printf("bytes: %lld\n", static_cast<long long>(bytes));
        std::printf("seconds: %.3f\n", seconds);
        std::printf("MB/s: %.1f\n", seconds > 0 ? double(bytes) / 1e6 / seconds : 0.0);
        std::printf("continuations: %d\n", failures.load() - (location.isEmpty() ? 1 : 0));
        std::printf("peak_rss_kb: %ld\n", usage.ru_maxrss);
        std::printf("wire_bytes: %lld\n",
                    static_cast<long long>(Platform::URLSession::shared().bytesReceived()));
        Platform::Log::setObserver(nullptr);
        return location.isEmpty() ? 1 : 0;
    }
}
