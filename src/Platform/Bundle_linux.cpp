#include "Platform/Bundle.h"

#include "Platform/Locale.h"
#include "Platform/Log.h"
#include "Platform/PropertyList.h"
#include "Platform/SharedInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
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

} // namespace

struct Bundle::Cache {
    std::mutex mutex;
    std::optional<QVariantMap> info;
    std::optional<QStringList> localizations;
    QHash<QString, QVariantMap> localizedInfo; // by language
};

Bundle::Bundle(QString bundlePath)
    : m_path(QDir::cleanPath(bundlePath)), m_cache(std::make_shared<Cache>()) {}

Bundle Bundle::main() {
    return *SharedInstance<Bundle>::pointer();
}

std::shared_ptr<Bundle> Bundle::systemInstance() {
    return std::make_shared<Bundle>(runningBundlePath());
}

void Bundle::rereadSettings() const {
    std::lock_guard lock(m_cache->mutex);
    m_cache->info.reset();
    m_cache->localizations.reset();
    m_cache->localizedInfo.clear();
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

QVariantMap Bundle::readSettings(const QString& path) const {
    std::optional<QVariantMap> dictionary = PropertyList::dictionaryWithContentsOfFile(path);
    if (!dictionary && m_path.endsWith(QLatin1String(".app")))
        logUnreadableOnce(path);
    return dictionary.value_or(QVariantMap());
}

QVariantMap Bundle::infoDictionary() const {
    std::lock_guard lock(m_cache->mutex);
    if (!m_cache->info)
        m_cache->info = readSettings(m_path + QStringLiteral("/Contents/Info.plist"));
    return *m_cache->info;
}

QVariantMap Bundle::localizedInfoDictionary(const QString& language) const {
    std::lock_guard lock(m_cache->mutex);
    if (const auto read = m_cache->localizedInfo.constFind(language);
        read != m_cache->localizedInfo.cend())
        return *read;
    QVariantMap& dictionary = m_cache->localizedInfo[language];
    // The folder may be spelt zh_CN.lproj or zh-CN.lproj.
    for (const QString& name : {language, QString(language).replace(u'_', u'-')}) {
        const QString path =
            resourcePath() + QLatin1Char('/') + name + QStringLiteral(".lproj/InfoPlist.strings");
        if (QFileInfo::exists(path)) {
            dictionary = readSettings(path);
            break;
        }
    }
    return dictionary;
}

QVariant Bundle::objectForInfoDictionaryKey(const QString& key) const {
    const QVariantMap localized = localizedInfoDictionary(preferredLocalization());
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

QStringList Bundle::localizations() const {
    std::lock_guard lock(m_cache->mutex);
    if (m_cache->localizations)
        return *m_cache->localizations;
    const QDir resources(resourcePath());
    QStringList names;
    for (const QString& folder : resources.entryList({QStringLiteral("*.lproj")}, QDir::Dirs))
        names += folder.chopped(6).replace(u'-', u'_');
    for (const QString& table :
         resources.entryList({QStringLiteral("Localizable_*.qm")}, QDir::Files))
        names += table.sliced(12).chopped(3);
    names.removeDuplicates();
    m_cache->localizations = names;
    return names;
}

QString Bundle::preferredLocalization() const {
    return Locale::preferredLocalization(localizations());
}

} // namespace Platform
