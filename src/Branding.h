#pragma once

#include "Platform/Bundle.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVariant>

// The settings that make the installer the maker's own: the product's name and slogan (both
// also per language in InfoPlist.strings), the accent colour, the lowest version of the product
// that counts as installed and the desktop entry's categories. Each is optional and defaults to
// the sample product's value; a value of the wrong type or form is logged once per bundle and
// key, and the default is used. Safe to use from any thread.
class Branding {
public:
    [[nodiscard]] static QString
    productName(const Platform::Bundle& bundle = Platform::Bundle::main());
    [[nodiscard]] static QString
    productSlogan(const Platform::Bundle& bundle = Platform::Bundle::main());
    [[nodiscard]] static QColor
    accentColor(const Platform::Bundle& bundle = Platform::Bundle::main());
    [[nodiscard]] static QString
    minimumVersion(const Platform::Bundle& bundle = Platform::Bundle::main());
    // Empty when the setting is missing or names no valid category.
    [[nodiscard]] static QStringList
    productCategories(const Platform::Bundle& bundle = Platform::Bundle::main());

    // The desktop-entry categories of a "A;B;" text or a list of texts; only the valid ones
    // (single words of letters, digits and "-") unless told otherwise.
    [[nodiscard]] static QStringList categoriesFrom(const QVariant& value, bool validOnly = true);

    // The keys above, and what is wrong with a value of one of them; null when it is fine.
    [[nodiscard]] static QStringList keys();
    [[nodiscard]] static QString problem(const QString& key, const QVariant& value);

private:
    [[nodiscard]] static QVariant value(const Platform::Bundle& bundle, const QString& key);
};
