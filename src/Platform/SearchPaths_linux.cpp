#include "Platform/SearchPaths.h"

#include "Platform/SharedInstance.h"

#include <QDir>
#include <cstdlib>

namespace Platform {

namespace {

QString environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? QString::fromLocal8Bit(value) : QString();
}

// An XDG folder: the variable when it holds an absolute path, else the default under HOME.
QString xdgDirectory(const char* variable, const QString& homeDefault, const QString& home) {
    const QString value = environment(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return home.isNull() ? QString() : home + homeDefault;
}

} // namespace

SearchPaths& SearchPaths::shared() {
    return *SharedInstance<SearchPaths>::pointer();
}

QString SearchPaths::homeDirectory() const {
    const QString home = environment("HOME");
    return home.isNull() ? QString() : QDir::cleanPath(home);
}

QString SearchPaths::applicationDirectory(ApplicationsFolder folder) const {
    if (folder != ApplicationsFolder::User)
        return QStringLiteral("/opt");
    const QString home = homeDirectory();
    return home.isNull() ? QString() : home + QStringLiteral("/Applications");
}

QString SearchPaths::applicationSupportDirectory() const {
    return xdgDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"), homeDirectory());
}

QString SearchPaths::configurationDirectory() const {
    return xdgDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"), homeDirectory());
}

QString SearchPaths::stateDirectory() const {
    return xdgDirectory("XDG_STATE_HOME", QStringLiteral("/.local/state"), homeDirectory());
}

QString SearchPaths::desktopDataDirectory(ApplicationsFolder folder) const {
    if (folder != ApplicationsFolder::User)
        return QStringLiteral("/usr/local/share");
    return applicationSupportDirectory();
}

QString SearchPaths::temporaryDirectory() const {
    QString tmp = environment("TMPDIR");
    if (!QDir::isAbsolutePath(tmp))
        tmp = QStringLiteral("/tmp");
    tmp = QDir::cleanPath(tmp);
    return tmp.endsWith(QLatin1Char('/')) ? tmp : tmp + QLatin1Char('/');
}

} // namespace Platform
