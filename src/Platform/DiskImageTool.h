#pragma once

#include <QString>

namespace Platform {

// Where the disk-image tool is and where its mount points live. On Linux the tool is the
// installer bundle's own Contents/Linux/hdiutil, and a mounted volume is a folder under a
// private "Volumes" folder inside the installer's private temporary folder.
class DiskImageTool {
public:
    // The tool's launch path: Contents/Linux/hdiutil of the main bundle unless a test set
    // another. Set only during test set-up; an empty path returns to the bundle's.
    [[nodiscard]] static QString launchPath();
    static void setLaunchPath(const QString& path);

    // <temporary directory><bundle identifier>/Volumes, not created here.
    [[nodiscard]] static QString volumesDirectory();
    // Creates the folder (and the private folder around it) owner-only when missing. True
    // when it exists afterwards as a real folder of the current user that only they can use.
    [[nodiscard]] static bool createVolumesDirectory();
    // Whether a path is a real folder (not a link), owned by the current user, closed to others.
    [[nodiscard]] static bool isPrivateFolder(const QString& path);
};

} // namespace Platform
