#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace Platform {

// A bundle directory: Name.app/Contents/{Info.plist, Resources/, Linux/<program>}.
// Nothing is cached: every question reads the settings files again.
class Bundle {
public:
    explicit Bundle(QString bundlePath);

    // The installer's own bundle, found from the running program's path
    // (<bundle>/Contents/Linux/<program>); tests replace it with ScopedReplacement<Bundle>.
    [[nodiscard]] static Bundle main();
    // The bundle of the running program, whatever main() was replaced with.
    [[nodiscard]] static std::shared_ptr<Bundle> systemInstance();

    // The bundle at a path, or nothing when no directory is there.
    [[nodiscard]] static std::optional<Bundle> bundleWithPath(const QString& path);

    [[nodiscard]] QString bundlePath() const { return m_path; }
    [[nodiscard]] QString resourcePath() const;
    // Contents/Linux/<CFBundleExecutable>; null when the key is missing.
    [[nodiscard]] QString executablePath() const;

    // The plain settings dictionary. A missing or malformed file is logged once per
    // path and reads as an empty dictionary.
    [[nodiscard]] QVariantMap infoDictionary() const;
    // The value of the preferred localization's settings when it has the key,
    // else the plain settings value; invalid when neither has it.
    [[nodiscard]] QVariant objectForInfoDictionaryKey(const QString& key) const;
    // String values of the two lookups above; null when missing or not a string.
    [[nodiscard]] QString localizedString(const QString& key) const;
    [[nodiscard]] QString plainString(const QString& key) const;

    // CFBundleIdentifier from the plain settings; null when missing.
    [[nodiscard]] QString bundleIdentifier() const;

private:
    [[nodiscard]] QVariantMap localizedInfoDictionary() const;

    QString m_path;
};

} // namespace Platform
