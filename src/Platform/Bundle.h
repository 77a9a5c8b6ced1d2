#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace Platform {

// A bundle directory: Name.app/Contents/{Info.plist, Resources/, Linux/<program>}.
// A bundle reads each settings file once, and its copies share what it read; the main
// bundle is one bundle for the whole run. Safe to use from any thread.
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

    // The plain settings dictionary. A missing or unreadable file reads as an empty
    // dictionary, and is logged once per path when the folder is named *.app: other folders
    // are no bundles, and the applications folders hold many of them.
    [[nodiscard]] QVariantMap infoDictionary() const;
    // The value of the preferred localization's settings (<language>.lproj/InfoPlist.strings)
    // when it has the key, else the plain settings value; invalid when neither has it.
    [[nodiscard]] QVariant objectForInfoDictionaryKey(const QString& key) const;
    // String values of the two lookups above; null when missing or not a string.
    [[nodiscard]] QString localizedString(const QString& key) const;
    [[nodiscard]] QString plainString(const QString& key) const;

    // The settings of one localization (<language>.lproj/InfoPlist.strings, '_' or '-' in the
    // folder's name); empty when it has none.
    [[nodiscard]] QVariantMap localizedInfoDictionary(const QString& language) const;

    // CFBundleIdentifier from the plain settings; null when missing.
    [[nodiscard]] QString bundleIdentifier() const;
    // Forgets what was read, for this bundle and its copies: settings files that changed are
    // read again at the next question.
    void rereadSettings() const;

    // The languages the bundle carries, '_'-separated: its <language>.lproj folders and
    // Localizable_<language>.qm tables in Resources.
    [[nodiscard]] QStringList localizations() const;
    // The one language of both the localized settings and the interface texts:
    // Locale::preferredLocalization of localizations().
    [[nodiscard]] QString preferredLocalization() const;

private:
    struct Cache;

    [[nodiscard]] QVariantMap readSettings(const QString& path) const;

    QString m_path;
    std::shared_ptr<Cache> m_cache;
};

} // namespace Platform
