#include "Unarchiving/DMG/TQDMGUnarchiver.h"

#include "Platform/DiskImageTool.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/Process.h"

#include <QUuid>
#include <optional>

namespace {

using Platform::FileManager;
using Platform::Log;
using Platform::Process;

constexpr double kScale = 100.0;

void report(const TQDMGUnarchiver::ProgressHandle& progress, double value) {
    if (progress)
        progress(value, kScale);
}

// A fresh path under the Volumes folder; the attach creates the mount point itself.
QString newMountPoint() {
    const QString volumes = Platform::DiskImageTool::volumesDirectory();
    QString mountPoint;
    do {
        mountPoint = volumes + QLatin1Char('/') +
                     QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    } while (FileManager::shared().itemExistsAtPath(mountPoint));
    return mountPoint;
}

struct AttachOutcome {
    int status;
    QByteArray output;
};

// Runs the attach to its end. Nothing when the tool could not be started, fed, read or
// waited for: those count as the platform failing, not as the tool's answer.
std::optional<AttachOutcome> attach(const QString& imagePath, const QString& mountPoint,
                                    const TQDMGUnarchiver::ProgressHandle& progress,
                                    const std::stop_token& stop) {
    Process tool;
    tool.setLaunchPath(Platform::DiskImageTool::shared().launchPath());
    tool.setCurrentDirectoryPath(QStringLiteral("/"));
    // 7-Zip runs under the tool: a group of their own can be stopped together.
    tool.setStartsProcessGroup(true);
    tool.setArguments({QStringLiteral("attach"), imagePath, QStringLiteral("-mountpoint"),
                       mountPoint, QStringLiteral("-nobrowse"), QStringLiteral("-noautoopen")});
    tool.setStandardInput(Process::Stream::Pipe);
    tool.setStandardOutput(Process::Stream::Pipe);
    if (!tool.launch())
        return std::nullopt;
    const std::stop_callback ending(stop, [&tool] { tool.terminate(); });
    report(progress, 12.5);
    if (!tool.writeToStandardInput(QByteArrayLiteral("yes\n")))
        return std::nullopt;
    tool.closeStandardInput();
    // Read to the end first: a tool blocked on a full output pipe would never exit.
    const std::optional<QByteArray> output = tool.readStandardOutputToEnd();
    if (!output || !tool.waitUntilExit())
        return std::nullopt;
    return AttachOutcome{tool.terminationStatus(), *output};
}

// Copies the readable top-level items in listed order; stops at the first failed copy.
void copyItems(const QString& mountPoint, const QString& destination,
               const TQDMGUnarchiver::ProgressHandle& progress, const std::stop_token& stop) {
    FileManager& files = FileManager::shared();
    QString error;
    const std::optional<QStringList> items = files.listDirectory(mountPoint, &error);
    if (!items) {
        Log::write(QStringLiteral("Couldn't enumerate contents of archive mounted at %1: %2")
                       .arg(mountPoint, error));
        Log::write(QStringLiteral("Can't mount DMG"));
        return;
    }
    const double total = 2.0 * double(items->size());
    double copied = 0;
    for (const QString& item : *items) {
        const QString source = mountPoint + QLatin1Char('/') + item;
        const QString target = destination + QLatin1Char('/') + item;
        if (!files.isReadableFileAtPath(source))
            continue;
        copied += 1;
        report(progress, (copied / total + 0.5) * 100.0);
        // The volume is this user's unpacked folder, removed by the detach: linking its files
        // gives the same result as copying them without writing the data a second time.
        if (!files.linkItemAtPath(source, target, &error, stop)) {
            Log::write(QStringLiteral("Can't mount DMG"));
            return;
        }
    }
    report(progress, 100.0);
}

// Started and left to run: its outcome is not waited for.
void detach(const QString& mountPoint) {
    Process tool;
    tool.setLaunchPath(Platform::DiskImageTool::shared().launchPath());
    tool.setArguments({QStringLiteral("detach"), mountPoint, QStringLiteral("-force")});
    tool.setStandardOutput(Process::Stream::Pipe);
    tool.setStandardError(Process::Stream::Pipe);
    if (tool.launch())
        return;
    Log::write(QStringLiteral("Failed to unmount %1").arg(mountPoint));
    Log::write(QStringLiteral("Exception: %1").arg(tool.errorString()));
}

} // namespace

bool TQDMGUnarchiver::unarchiveFile(const QUrl& file, const QUrl& destination,
                                    const ProgressHandle& progress,
                                    const FileOutputHandle& fileOutputHandle,
                                    std::stop_token stop) {
    (void)fileOutputHandle;
    const QString imageURL = file.toString(QUrl::FullyEncoded);
    (void)Platform::DiskImageTool::createVolumesDirectory();
    const QString mountPoint = newMountPoint();

    const std::optional<AttachOutcome> attached =
        attach(file.toLocalFile(), mountPoint, progress, stop);
    // A stopped attach leaves a half-unpacked volume behind: it goes, without a word.
    if (stop.stop_requested()) {
        detach(mountPoint);
        return false;
    }
    if (!attached) {
        Log::write(QStringLiteral("Can't mount DMG"));
        Log::write(QStringLiteral("Can't mount DMG %1").arg(imageURL));
        return false;
    }
    report(progress, 50.0);
    if (attached->status != 0) {
        Log::write(
            QStringLiteral("hdiutil failed with code: %1 data: <<%2>>")
                .arg(QString::number(long(attached->status)), QString::fromUtf8(attached->output)));
        Log::write(QStringLiteral("Can't mount DMG"));
        Log::write(QStringLiteral("Can't mount DMG %1").arg(imageURL));
        return false;
    }
    copyItems(mountPoint, destination.toLocalFile(), progress, stop);
    detach(mountPoint);
    return true;
}
