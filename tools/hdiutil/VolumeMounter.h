#pragma once

#include <QString>

// Attach and detach as the installer uses them. A mount point is a folder directly inside a
// private "Volumes" folder (a real folder of the user, closed to others) in the temporary
// directory. Beside each mount point the tool keeps a record folder ".<name>.hdiutil": it
// holds the image link and 7-Zip's output while unpacking and, once attached, the identity
// of the mount point, so a detach removes only folders this tool made. Messages, 7-Zip's
// included, go to standard output.
class VolumeMounter {
public:
    // 0 when the image's volume was unpacked whole into the new folder mountPoint.
    [[nodiscard]] static int attach(const QString& imagePath, const QString& mountPoint);
    // 0 when the attached folder is gone; links inside are removed, never followed.
    [[nodiscard]] static int detach(const QString& mountPoint);
};
