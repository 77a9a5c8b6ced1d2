#include "Platform/DiskImageTool.h"

#include "Platform/Bundle.h"
#include "Platform/PrivateFolder.h"
#include "Platform/SearchPaths.h"
#include "Platform/SharedInstance.h"

namespace Platform {

namespace {

const QString volumesName = QStringLiteral("Volumes");

// The downloader's folder, named as the downloader names it.
QString downloadFolder() {
    QString identifier = Bundle::main().bundleIdentifier();
    if (identifier.isEmpty())
        identifier = QStringLiteral("TQDownloader");
    return SearchPaths::shared().temporaryDirectory() + identifier;
}

QString privateRoot() {
    const QString folder = downloadFolder();
    const QString located = PrivateFolder::locate(folder);
    return located.isNull() ? folder : located;
}

} // namespace

DiskImageTool& DiskImageTool::shared() {
    return *SharedInstance<DiskImageTool>::pointer();
}

QString DiskImageTool::launchPath() const {
    if (!m_launchPath.isEmpty())
        return m_launchPath;
    return Bundle::main().bundlePath() + QStringLiteral("/Contents/Linux/hdiutil");
}

QString DiskImageTool::volumesDirectory() {
    return privateRoot() + QLatin1Char('/') + volumesName;
}

bool DiskImageTool::createVolumesDirectory() {
    return PrivateFolder::makeInside(PrivateFolder::make(downloadFolder()), volumesName);
}

bool DiskImageTool::volumesDirectoryIsPrivate() {
    const QString root = privateRoot();
    return PrivateFolder::isPrivatePath(root, root + QLatin1Char('/') + volumesName);
}

} // namespace Platform
