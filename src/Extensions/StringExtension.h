#pragma once

#include <QString>
#include <QStringList>

// The text to show for an English source text: its entry in the installer bundle's table
// of its preferred localization (the language of its localized settings as well), or the
// text itself when there is none.
[[nodiscard]] QString localized(const QString& key);
// A localized pattern filled in: each "%@" takes the next argument in order, and "%n$@" the
// n-th argument, so that a translation can reorder them; a placeholder without its argument
// stays as it is.
[[nodiscard]] QString formatted(const QString& pattern, const QStringList& arguments);

// Path-name pieces with the installer's rules: the extension is the text after the last
// "." of the last path component; a name that starts with its only "." has none.
[[nodiscard]] QString pathExtension(const QString& path);
[[nodiscard]] QString stringByDeletingPathExtension(const QString& path);
[[nodiscard]] QString lastPathComponent(const QString& path);
