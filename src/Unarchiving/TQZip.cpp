#include "Unarchiving/TQZip.h"

#include "Platform/FileManager.h"
#include "Platform/Process.h"
#include "Unarchiving/TQZipExtraction.h"

#include <QFileInfo>
#include <algorithm>
#include <thread>

namespace {

const QString chmodTool = QStringLiteral("/bin/chmod");
// Past a few threads the disk, not inflating, sets the pace.
constexpr unsigned maximumThreads = 8;

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

bool TQZip::unzipFile(const QUrl& file, const QUrl& destination, bool overwrite,
                      const ProgressHandle& progress, const FileOutputHandle& fileOutputHandle,
                      std::stop_token stop, unsigned threads) {
    const QString path = file.toLocalFile();
    if (!QFileInfo::exists(path))
        return false;
    if (QFileInfo(path).suffix() != QLatin1String("zip"))
        return false;
    TQZipExtraction extraction(path, withoutTrailingSlash(destination.toLocalFile()), overwrite,
                               progress, fileOutputHandle, std::move(stop), threads);
    return extraction.run();
}

unsigned TQZip::defaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, maximumThreads);
}

bool TQZip::changeFilePermissions(const QUrl& fileURL, qint64 permissions) {
    const QString path = fileURL.toLocalFile();
    const Platform::FileManager& files = Platform::FileManager::shared();
    // The mode travels as a signed 16-bit value, as the settable attribute holds it.
    const auto requested = static_cast<qint16>(permissions);
    (void)files.setPosixPermissionsOfItemAtPath(path, static_cast<quint16>(requested));
    const std::optional<uint> applied = files.posixPermissionsOfItemAtPath(path);
    if (applied && qint64(static_cast<qint16>(*applied)) == permissions)
        return true;

    if (!QFileInfo::exists(chmodTool))
        return false;
    // A relative path starting with "-" would read as an option.
    const QString argument = path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
    Platform::Process tool;
    tool.setLaunchPath(chmodTool);
    tool.setArguments({QString::number(static_cast<quint64>(permissions), 8), argument});
    // Its complaints are not the installer's: read and dropped.
    tool.setStandardOutput(Platform::Process::Stream::Pipe);
    tool.setStandardErrorToOutput();
    if (!tool.launch() || !tool.readStandardOutputToEnd() || !tool.waitUntilExit())
        return false;
    return !tool.terminatedBySignal() && tool.terminationStatus() == 0;
}
