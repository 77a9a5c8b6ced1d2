#pragma once

#include <QString>
#include <QStringList>

// The text to show for an English source text: its entry in the installer bundle's table
// of its preferred localization (the language of its localized settings as well), or the
// text itself when there is none, or when the entry does not fit the text's placeholders
// (fitsPattern; logged once per key).
[[nodiscard]] QString localized(const QString& key);
// Whether a translation takes only arguments its source text has and carries no placeholder of
// another kind ("%1", "%s", "%d"): one that leaves an argument out still fits.
[[nodiscard]] bool fitsPattern(const QString& translation, const QString& source);
// A localized pattern filled in: each "%@" takes the next argument in order, and "%n$@" the
// n-th argument, so that a translation can reorder them; a placeholder without its argument
// stays as it is.
[[nodiscard]] QString formatted(const QString& pattern, const QStringList& arguments);

// Path-name pieces with the installer's rules: the extension is the text after the last
// "." of the last path component; a name that starts with its only "." has none.
[[nodiscard]] QString pathExtension(const QString& path);
[[nodiscard]] QString stringByDeletingPathExtension(const QString& path);
[[nodiscard]] QString lastPathComponent(const QString& path);
