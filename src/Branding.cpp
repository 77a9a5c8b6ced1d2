#include "Branding.h"

#include "Platform/Log.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <mutex>

namespace {

enum class Form { Text, Colour, Version, Categories };

struct Setting {
    const char* key;
    Form form;
    const char* fallback;
    bool localizable;
};

const Setting settings[] = {
    {"ProductName", Form::Text, "Scribora", true},
    {"ProductSlogan", Form::Text, "Write with clarity, anywhere.", true},
    {"AccentColor", Form::Colour, "#4E69FF", false},
    {"InstallApplicationMinimumVersion", Form::Version, "7.0.0", false},
    {"ProductCategories", Form::Categories, "", false},
};

const Setting& settingFor(const QString& key) {
    for (const Setting& setting : settings)
        if (key == QLatin1String(setting.key))
            return setting;
    return settings[0];
}

// Compiled once: settings are read whenever the window, the check or the desktop entry asks.
const QRegularExpression colourForm(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
const QRegularExpression versionForm(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
const QRegularExpression categoryForm(QStringLiteral("^[A-Za-z0-9-]+$"));

bool matches(const QRegularExpression& form, const QString& text) {
    return form.match(text).hasMatch();
}

bool isCategoryList(const QVariant& value) {
    if (value.typeId() == QMetaType::QString)
        return true;
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList items = value.toList();
    return std::all_of(items.cbegin(), items.cend(),
                       [](const QVariant& item) { return item.typeId() == QMetaType::QString; });
}

QString formProblem(Form form, const QVariant& value) {
    if (form == Form::Categories && !isCategoryList(value))
        return QStringLiteral("is not a text or a list of texts");
    if (form == Form::Categories) {
        const QStringList given = Branding::categoriesFrom(value, false);
        const QStringList valid = Branding::categoriesFrom(value);
        return given == valid ? QString()
                              : QStringLiteral("names categories that are not single words");
    }
    if (value.typeId() != QMetaType::QString)
        return QStringLiteral("is not a text");
    const QString text = value.toString();
    if (form == Form::Colour && !matches(colourForm, text))
        return QStringLiteral("\"%1\" is not a colour of the form #RRGGBB").arg(text);
    if (form == Form::Version && !matches(versionForm, text))
        return QStringLiteral("\"%1\" is not a version such as 7.0.0").arg(text);
    if (form == Form::Text && text.trimmed().isEmpty())
        return QStringLiteral("is empty");
    return QString();
}

// One line for each bundle and key, however often the setting is asked for.
void logOnce(const Platform::Bundle& bundle, const Setting& setting, const QString& problem) {
    static std::mutex mutex;
    static QSet<QString> logged;
    const QString id = bundle.bundlePath() + QLatin1Char('\n') + QLatin1String(setting.key);
    {
        std::lock_guard lock(mutex);
        if (logged.contains(id))
            return;
        logged.insert(id);
    }
    Platform::Log::write(QStringLiteral("The setting %1 of %2: %3; using \"%4\"")
                             .arg(QLatin1String(setting.key), bundle.bundlePath(), problem,
                                  QLatin1String(setting.fallback)));
}

} // namespace

QVariant Branding::value(const Platform::Bundle& bundle, const QString& key) {
    const Setting& setting = settingFor(key);
    const QVariant given = setting.localizable ? bundle.objectForInfoDictionaryKey(key)
                                               : bundle.infoDictionary().value(key);
    if (!given.isValid())
        return QString::fromUtf8(setting.fallback);
    const QString wrong = formProblem(setting.form, given);
    if (wrong.isNull())
        return given;
    logOnce(bundle, setting, wrong);
    return QString::fromUtf8(setting.fallback);
}

QString Branding::productName(const Platform::Bundle& bundle) {
    return value(bundle, QStringLiteral("ProductName")).toString();
}

QString Branding::productSlogan(const Platform::Bundle& bundle) {
    return value(bundle, QStringLiteral("ProductSlogan")).toString();
}

QColor Branding::accentColor(const Platform::Bundle& bundle) {
    return QColor::fromString(value(bundle, QStringLiteral("AccentColor")).toString());
}

QString Branding::minimumVersion(const Platform::Bundle& bundle) {
    return value(bundle, QStringLiteral("InstallApplicationMinimumVersion")).toString();
}

QStringList Branding::productCategories(const Platform::Bundle& bundle) {
    return categoriesFrom(value(bundle, QStringLiteral("ProductCategories")));
}

QStringList Branding::categoriesFrom(const QVariant& value, bool validOnly) {
    const QStringList given = value.typeId() == QMetaType::QString
                                  ? value.toString().split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                  : value.toStringList();
    QStringList valid;
    for (const QString& category : given)
        if (!validOnly || matches(categoryForm, category))
            valid += category;
    return valid;
}

QStringList Branding::keys() {
    QStringList names;
    for (const Setting& setting : settings)
        names += QLatin1String(setting.key);
    return names;
}

QString Branding::problem(const QString& key, const QVariant& value) {
    return formProblem(settingFor(key).form, value);
}
