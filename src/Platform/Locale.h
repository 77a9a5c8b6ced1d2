#pragma once

#include <QStringList>

namespace Platform {

// The user's preferred UI languages, most preferred first, as language tags ("zh-CN", "en").
class Locale {
public:
    [[nodiscard]] static QStringList preferredLanguages();
    // Tests pin the list; an empty list returns to the system's. Set before other threads ask.
    static void setPreferredLanguages(const QStringList& languages);
};

} // namespace Platform
