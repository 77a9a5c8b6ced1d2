#include "Platform/UserDefaults.h"

#include "Platform/Bundle.h"
#include "Platform/SearchPaths.h"

#include <QSettings>

namespace Platform {

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults;
    return defaults;
}

QString UserDefaults::filePath() const {
    QString scope = Bundle::main().bundleIdentifier();
    if (scope.isEmpty() || scope.contains(QLatin1Char('/')))
        scope = QStringLiteral("installer");
    return SearchPaths::shared().configurationDirectory() + QLatin1Char('/') + scope +
           QStringLiteral(".conf");
}

QString UserDefaults::stringForKey(const QString& key) const {
    const QSettings settings(filePath(), QSettings::IniFormat);
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

bool UserDefaults::setString(const QString& key, const QString& value) {
    QSettings settings(filePath(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool UserDefaults::removeObjectForKey(const QString& key) {
    QSettings settings(filePath(), QSettings::IniFormat);
    settings.remove(key);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace Platform
