#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// The text of a freedesktop desktop entry (the [Desktop Entry] group of a .desktop file),
// with the escaping those files use: "\\", "\n", "\t", "\r" and a leading "\s" in every value,
// and the quoting of the Exec key's arguments on top of that.
class DesktopEntry {
public:
    // Adds a key, in order; a null value is left out. Control characters that have no escape
    // are dropped.
    void setValue(const QString& key, const QString& value);
    // The file's text, UTF-8.
    [[nodiscard]] QByteArray text() const;

    // One argument of an Exec value, quoted so that a launcher reads back exactly `argument`:
    // in double quotes, with '"', '`', '$' and '\' escaped by a backslash and '%' doubled.
    [[nodiscard]] static QString execArgument(const QString& argument);
    // The value of `key` in the [Desktop Entry] group of an entry's text, unescaped; null when
    // the key is missing.
    [[nodiscard]] static QString value(const QByteArray& text, const QString& key);

private:
    QList<std::pair<QString, QString>> m_values;
};
