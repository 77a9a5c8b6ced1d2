#include "Platform/Locale.h"

#include <QLocale>
#include <mutex>

namespace Platform {

namespace {

std::mutex& overrideMutex() {
    static std::mutex mutex;
    return mutex;
}

QStringList& overridden() {
    static QStringList languages;
    return languages;
}

} // namespace

QStringList Locale::preferredLanguages() {
    {
        std::lock_guard lock(overrideMutex());
        if (!overridden().isEmpty())
            return overridden();
    }
    return QLocale::system().uiLanguages();
}

void Locale::setPreferredLanguages(const QStringList& languages) {
    std::lock_guard lock(overrideMutex());
    overridden() = languages;
}

} // namespace Platform
