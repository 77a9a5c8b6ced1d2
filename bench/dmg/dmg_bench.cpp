// tq_dmg_bench IMAGE DEST
// Runs TQDMGUnarchiver::unarchiveFile once with the build's disk-image tool and prints
//   result: YES|NO, items: N, bytes: N, seconds: S, peak_rss_kb: K
// items and bytes count what arrived in DEST (every item, file bytes); peak_rss_kb is the
// installer process's own peak. Waits for the detach to finish before it ends.
#include "Platform/Bundle.h"
#include "Platform/DiskImageTool.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: tq_dmg_bench IMAGE DEST\n", stderr);
        return 2;
    }
    Platform::Bundle::setMainBundlePath(QStringLiteral(TQ_BUNDLE_DIR));
    const QString image = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString destination = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    QDir().mkpath(destination);

    QElapsedTimer timer;
    timer.start();
    const bool result = TQDMGUnarchiver::unarchiveFile(
        QUrl::fromLocalFile(image), QUrl::fromLocalFile(destination), nullptr, nullptr);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    qint64 items = 0;
    qint64 bytes = 0;
    QDirIterator entries(destination,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        entries.next();
        ++items;
        const QFileInfo info = entries.fileInfo();
        if (info.isFile() && !info.isSymLink())
            bytes += info.size();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("result: %s\nitems: %lld\nbytes: %lld\nseconds: %.3f\npeak_rss_kb: %ld\n",
                result ? "YES" : "NO", static_cast<long long>(items), static_cast<long long>(bytes),
                seconds, usage.ru_maxrss);

    const QDir volumes(Platform::DiskImageTool::volumesDirectory());
    for (int waited = 0;
         waited < 6000 && !volumes.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
         ++waited)
        QThread::msleep(10);
    return result ? 0 : 1;
}
