#include "Unarchiving/TQZip.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

// Runs TQZip::unzipFile once and prints its figures, one per line.
//   tq_unzip_bench ARCHIVE DEST [--no-overwrite]
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3 || (argc == 4 && std::strcmp(argv[3], "--no-overwrite") != 0) || argc > 4) {
        std::fprintf(stderr, "usage: %s ARCHIVE DEST [--no-overwrite]\n", argv[0]);
        return 2;
    }
    QStringList outputs;
    QElapsedTimer timer;
    timer.start();
    const bool result =
        TQZip::unzipFile(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])),
                         QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])), argc == 3, nullptr,
                         [&](const QUrl& url) { outputs.append(url.toLocalFile()); });
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    unsigned long long bytes = 0;
    for (const QString& path : outputs) {
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode))
            bytes += static_cast<unsigned long long>(status.st_size);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("result: %s\nentries: %lld\nbytes: %llu\nseconds: %.3f\nMB/s: %.1f\n"
                "peak_rss_kb: %ld\n",
                result ? "YES" : "NO", (long long)outputs.size(), bytes, seconds,
                double(bytes) / 1e6 / seconds, usage.ru_maxrss);
    return result ? 0 : 1;
}
