#pragma once

#include <QString>

namespace Platform {

// This user's folders in a place others can write to, such as the temporary directory: a
// private folder is a real folder (never a link) owned by the current user and closed to
// everyone else (mode 0700). The download folder and the disk-image tool's Volumes folder
// inside it follow these rules.
class PrivateFolder {
public:
    // Makes `path` private and returns the folder to use. A missing folder is created 0700; an
    // existing folder of this user that others could not write to is tightened to 0700.
    // Anything else (a file, a link, a folder of another user or one others could write to) is
    // passed over for this user's one fallback folder beside it, "<path>.XXXXXX": reused when
    // there is one, made otherwise, and cleared of packages older than a day. Logs which folder
    // it fell back to; `path` itself when no folder can be made at all.
    [[nodiscard]] static QString make(const QString& path);
    // The folder make(path) settled on, without making, changing or logging anything; null
    // when there is none.
    [[nodiscard]] static QString locate(const QString& path);
    // Makes the folder `name` inside the private folder `root` (0700) when it is missing. True
    // when both are private afterwards.
    [[nodiscard]] static bool makeInside(const QString& root, const QString& name);
    // Whether `path` is `root` or lies below it, and every folder from `root` down to `path`,
    // each opened without following a link, is private.
    [[nodiscard]] static bool isPrivatePath(const QString& root, const QString& path);
};

} // namespace Platform
