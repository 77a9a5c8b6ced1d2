#include "Platform/DiskImageTool.h"

#include "Platform/Bundle.h"
#include "Platform/SearchPaths.h"

#include <QFile>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

std::mutex& overrideMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& launchPathOverride() {
    static QString path;
    return path;
}

bool makePrivateFolder(const QString& path) {
    ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    return DiskImageTool::isPrivateFolder(path);
}

} // namespace

QString DiskImageTool::launchPath() {
    {
        std::lock_guard lock(overrideMutex());
        if (!launchPathOverride().isEmpty())
            return launchPathOverride();
    }
    return Bundle::main().bundlePath() + QStringLiteral("/Contents/Linux/hdiutil");
}

void DiskImageTool::setLaunchPath(const QString& path) {
    std::lock_guard lock(overrideMutex());
    launchPathOverride() = path;
}

QString DiskImageTool::volumesDirectory() {
    QString identifier = Bundle::main().bundleIdentifier();
    if (identifier.isEmpty())
        identifier = QStringLiteral("hdiutil");
    return SearchPaths::shared().temporaryDirectory() + identifier + QStringLiteral("/Volumes");
}

bool DiskImageTool::createVolumesDirectory() {
    const QString volumes = volumesDirectory();
    const QString privateFolder = volumes.section(QLatin1Char('/'), 0, -2);
    ::mkdir(QFile::encodeName(privateFolder).constData(), S_IRWXU);
    return makePrivateFolder(volumes);
}

bool DiskImageTool::isPrivateFolder(const QString& path) {
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

} // namespace Platform
