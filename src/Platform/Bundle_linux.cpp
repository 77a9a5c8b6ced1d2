#include "Platform/Bundle.h"

#include "Platform/Locale.h"
#include "Platform/Log.h"
#include "Platform/PropertyList.h"
#include "Platform/SharedInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <mutex>

namespace Platform {

namespace {

std::mutex& stateMutex() {
    static std::mutex mutex;
    return mutex;
}

// Each unreadable settings file is reported once per run, not on every lookup.
void logUnreadableOnce(const QString& path) {
    static QSet<QString> reported;
    {
        std::lock_guard lock(stateMutex());
        if (reported.contains(path))
            return;
        reported.insert(path);
    }
    Log::write(QStringLiteral("Cannot read the settings dictionary at %1").arg(path));
}

QString runningBundlePath() {
    const QFileInfo program(QStringLiteral("/proc/self/exe"));
    const QString programDirectory = QFileInfo(program.symLinkTarget()).absolutePath();
    QDir contents(programDirectory);
    if (contents.cdUp() && contents.dirName() == QLatin1String("Contents") && contents.cdUp())
        return contents.absolutePath();
    return programDirectory;
}

// Localization folder names to try for one language tag: zh-Hans-CN → zh_Hans_CN, zh-Hans-CN, zh.
QStringList localizationNames(const QString& language) {
    QStringList names{QString(language).replace(QLatin1Char('-'), QLatin1Char('_')), language,
                      language.section(QLatin1Char('-'), 0, 0)};
    names.removeDuplicates();
    return names;
}

} // namespace

Bundle::Bundle(QString bundlePath) : m_path(QDir::cleanPath(bundlePath)) {}

Bundle Bundle::main() {
    return *SharedInstance<Bundle>::pointer();
}

std::shared_ptr<Bundle> Bundle::systemInstance() {
    return std::make_shared<Bundle>(runningBundlePath());
}

std::optional<Bundle> Bundle::bundleWithPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return std::nullopt;
    return Bundle(path);
}

QString Bundle::resourcePath() const {
    return m_path + QStringLiteral("/Contents/Resources");
}

QString Bundle::executablePath() const {
    const QString name = plainString(QStringLiteral("CFBundleExecutable"));
    if (name.isEmpty())
        return QString();
    return m_path + QStringLiteral("/Contents/Linux/") + name;
}

QVariantMap Bundle::infoDictionary() const {
    const QString path = m_path + QStringLiteral("/Contents/Info.plist");
    std::optional<QVariantMap> dictionary = PropertyList::dictionaryWithContentsOfFile(path);
    if (!dictionary) {
        logUnreadableOnce(path);
        return {};
    }
    return *dictionary;
}

QVariantMap Bundle::localizedInfoDictionary() const {
    for (const QString& language : Locale::preferredLanguages()) {
        for (const QString& name : localizationNames(language)) {
            const QString folder =
                resourcePath() + QLatin1Char('/') + name + QStringLiteral(".lproj");
            if (!QFileInfo(folder).isDir())
                continue;
            const QString path = folder + QStringLiteral("/InfoPlist.strings");
            if (!QFileInfo::exists(path))
                return {};
            std::optional<QVariantMap> dictionary =
                PropertyList::dictionaryWithContentsOfFile(path);
            if (!dictionary)
                logUnreadableOnce(path);
            return dictionary.value_or(QVariantMap());
        }
    }
    return {};
}

QVariant Bundle::objectForInfoDictionaryKey(const QString& key) const {
    const QVariantMap localized = localizedInfoDictionary();
    if (localized.contains(key))
        return localized.value(key);
    return infoDictionary().value(key);
}

QString Bundle::localizedString(const QString& key) const {
    const QVariant value = objectForInfoDictionaryKey(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString Bundle::plainString(const QString& key) const {
    const QVariant value = infoDictionary().value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString Bundle::bundleIdentifier() const {
    return plainString(QStringLiteral("CFBundleIdentifier"));
}

} // namespace Platform
