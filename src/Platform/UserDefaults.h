#pragma once

#include <QString>

namespace Platform {

// Per-user defaults of the installer: an INI file in the user's configuration folder,
// named after the installer's bundle identifier. Every write goes to disk at once
// (QSettings writes a temporary file and renames it, so a crash leaves the old or the
// new file, never half of one). Safe to call from any thread.
class UserDefaults {
public:
    static UserDefaults& standard();

    // Null when the key is missing or holds no text.
    [[nodiscard]] QString stringForKey(const QString& key) const;
    // False when the value could not be written to disk.
    bool setString(const QString& key, const QString& value);
    // False when the file could not be written without the key.
    bool removeObjectForKey(const QString& key);

    // The file behind the defaults.
    [[nodiscard]] QString filePath() const;
};

} // namespace Platform
