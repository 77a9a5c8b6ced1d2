#pragma once

#include <QString>
#include <utility>

namespace Platform {

// The disk-image tool and where its mount points live. On Linux the tool is the installer
// bundle's own Contents/Linux/hdiutil, and a mounted volume is a folder inside the private
// "Volumes" folder of the downloader's private folder in the temporary directory.
// Tests stand in for the tool by replacing the instance with ScopedReplacement.
class DiskImageTool {
public:
    // The main bundle's tool; a stand-in at `launchPath` when one is given.
    explicit DiskImageTool(QString launchPath = QString()) : m_launchPath(std::move(launchPath)) {}

    static DiskImageTool& shared();
    [[nodiscard]] QString launchPath() const;

    // <private folder>/Volumes, where the private folder is the one the downloader uses,
    // <temporary directory><bundle identifier>, or its fallback. Not created here.
    [[nodiscard]] static QString volumesDirectory();
    // Makes the private folder and the Volumes folder in it when missing. True when both
    // are private afterwards.
    [[nodiscard]] static bool createVolumesDirectory();
    // Whether volumesDirectory() and the private folder around it are private, each checked
    // without following a link.
    [[nodiscard]] static bool volumesDirectoryIsPrivate();

private:
    QString m_launchPath;
};

} // namespace Platform
