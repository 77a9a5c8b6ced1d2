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

QString Locale::preferredLocalization(const QStringList& available) {
    QStringList sorted = available;
    sorted.sort(Qt::CaseInsensitive);
    const auto find = [&sorted](const auto& matches) {
        for (const QString& name : sorted)
            if (matches(name))
                return name;
        return QString();
    };
    const QString english = QStringLiteral("en");
    for (const QString& language : preferredLanguages()) {
        const QString tag = QString(language).replace(u'-', u'_');
        const QString base = tag.section(u'_', 0, 0);
        for (const QString& wanted : {tag, base}) {
            const QString found = find([&wanted](const QString& name) {
                return name.compare(wanted, Qt::CaseInsensitive) == 0;
            });
            if (!found.isNull())
                return found;
        }
        const QString region = find([&base](const QString& name) {
            return name.startsWith(base + u'_', Qt::CaseInsensitive);
        });
        if (!region.isNull())
            return region;
        if (base.compare(english, Qt::CaseInsensitive) == 0)
            return english;
    }
    return english;
}

void Locale::setPreferredLanguages(const QStringList& languages) {
    std::lock_guard lock(overrideMutex());
    overridden() = languages;
}

} // namespace Platform
