#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// Files in the desktop's data folders (share/applications, share/icons): menu entries and
// icons of installed products. Paths are absolute.
class DesktopFiles {
public:
    // Writes a new file readable by everyone (0644), making its missing folders (0755). Fails
    // when anything is at `path` already; what a failed write made of the file is removed.
    [[nodiscard]] static bool writeNewFile(const QString& path, const QByteArray& contents,
                                           QString* error);
    // Brings the desktop's caches of these folders up to date, with update-desktop-database
    // and gtk-update-icon-cache where they are installed. Only a cache that exists is
    // refreshed: a folder without one is read directly, and a new cache would outlive what
    // the installer put there.
    static void refreshCaches(const QString& applicationsFolder, const QString& iconThemeFolder);
};

} // namespace Platform
