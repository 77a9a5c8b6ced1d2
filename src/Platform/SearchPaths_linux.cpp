#include "Platform/SearchPaths.h"

#include <QDir>
#include <cstdlib>

namespace Platform {

namespace {

std::shared_ptr<SearchPaths>& current() {
    static std::shared_ptr<SearchPaths> instance = std::make_shared<SearchPaths>();
    return instance;
}

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
    return *current();
}

void SearchPaths::setShared(std::shared_ptr<SearchPaths> searchPaths) {
    current() = searchPaths ? std::move(searchPaths) : std::make_shared<SearchPaths>();
}

QString SearchPaths::homeDirectory() const {
    const QString home = environment("HOME");
    return home.isNull() ? QString() : QDir::cleanPath(home);
}

QString SearchPaths::applicationDirectory(long domainMask) const {
    if (domainMask & UserDomainMask) {
        const QString home = homeDirectory();
        return home.isNull() ? QString() : home + QStringLiteral("/Applications");
    }
    if (domainMask & (LocalDomainMask | SystemDomainMask))
        return QStringLiteral("/opt");
    return QString();
}

QString SearchPaths::applicationSupportDirectory() const {
    return xdgDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"), homeDirectory());
}

QString SearchPaths::configurationDirectory() const {
    return xdgDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"), homeDirectory());
}

QString SearchPaths::temporaryDirectory() const {
    QString tmp = environment("TMPDIR");
    if (!QDir::isAbsolutePath(tmp))
        tmp = QStringLiteral("/tmp");
    tmp = QDir::cleanPath(tmp);
    return tmp.endsWith(QLatin1Char('/')) ? tmp : tmp + QLatin1Char('/');
}

} // namespace Platform
