// tq_dmg_bench IMAGE DEST [--compare-7zz]
// Runs TQDMGUnarchiver::unarchiveFile once with the build's disk-image tool and prints
//   result: YES|NO, items: N, bytes: N, seconds: S, peak_rss_kb: K,
//   attach_seconds: S (until the tool ended), copy_seconds: S (the rest)
// items and bytes count what arrived in DEST (every item, file bytes); peak_rss_kb is the
// installer process's own peak. Waits for the detach to finish before it ends.
// With --compare-7zz it first times "7zz x" of the same image alone (into a folder beside
// DEST, removed at the end) and adds 7zz_seconds and ratio. Dirty pages are flushed before
// each timed part so one does not pay for the other's writes.
#include "Platform/Bundle.h"
#include "Platform/DiskImageTool.h"
#include "Platform/ScopedReplacement.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double sevenZipAlone(const QString& image, const QString& output) {
    ::sync();
    QElapsedTimer timer;
    timer.start();
    QProcess sevenZip;
    sevenZip.setStandardOutputFile(QProcess::nullDevice());
    sevenZip.start(QStringLiteral("7zz"),
                   {QStringLiteral("x"), QStringLiteral("-snld20"), QStringLiteral("-y"),
                    QStringLiteral("-bsp0"), QStringLiteral("-o") + output, image});
    sevenZip.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return sevenZip.exitCode() == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const bool compare = argc == 4 && qstrcmp(argv[3], "--compare-7zz") == 0;
    if (argc != 3 && !compare) {
        std::fputs("usage: tq_dmg_bench IMAGE DEST [--compare-7zz]\n", stderr);
        return 2;
    }
    const Platform::ScopedReplacement<Platform::Bundle> mainBundle(
        std::make_shared<Platform::Bundle>(QStringLiteral(TQ_BUNDLE_DIR)));
    const QString image = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString destination = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    QDir().mkpath(destination);
    const QString sevenZipOutput = destination + QStringLiteral(".7zz");
    const double alone = compare ? sevenZipAlone(image, sevenZipOutput) : 0;

    ::sync();
    QElapsedTimer timer;
    timer.start();
    double attached = 0;
    const bool result = TQDMGUnarchiver::unarchiveFile(
        QUrl::fromLocalFile(image), QUrl::fromLocalFile(destination),
        [&](double value, double) {
            if (value == 50.0)
                attached = double(timer.nsecsElapsed()) / 1e9;
        },
        nullptr);
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
    std::printf("attach_seconds: %.3f\ncopy_seconds: %.3f\n", attached, seconds - attached);
    if (compare)
        std::printf("7zz_seconds: %.3f\nratio: %.2f\n", alone, alone > 0 ? seconds / alone : 0);

    const QDir volumes(Platform::DiskImageTool::volumesDirectory());
    for (int waited = 0;
         waited < 6000 && !volumes.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
         ++waited)
        QThread::msleep(10);
    // Removed only now, so its removal does not slow the timed unarchive.
    if (compare)
        QDir(sevenZipOutput).removeRecursively();
    return result ? 0 : 1;
}
