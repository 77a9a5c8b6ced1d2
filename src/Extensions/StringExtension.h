#pragma once

#include <QString>

// The text to show for an English source text: its entry in the installer bundle's table
// of its preferred localization (the language of its localized settings as well), or the
// text itself when there is none.
[[nodiscard]] QString localized(const QString& key);

// Path-name pieces with the installer's rules: the extension is the text after the last
// "." of the last path component; a name that starts with its only "." has none.
[[nodiscard]] QString pathExtension(const QString& path);
[[nodiscard]] QString stringByDeletingPathExtension(const QString& path);
[[nodiscard]] QString lastPathComponent(const QString& path);
