#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace Platform {

// Settings dictionaries on disk (Info.plist and its localized variants), XML or binary.
class PropertyList {
public:
    // The dictionary at the top of the file; nothing when the file is missing, larger than
    // 1 MB, nests deeper than 64 levels, is malformed, or holds something other than a
    // dictionary. Strings, integers, reals,
    // booleans, data, arrays and dictionaries are kept; other values are left out.
    [[nodiscard]] static std::optional<QVariantMap>
    dictionaryWithContentsOfFile(const QString& path);
};

} // namespace Platform
