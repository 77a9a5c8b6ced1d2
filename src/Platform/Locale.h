#pragma once

#include <QStringList>

namespace Platform {

// The user's preferred UI languages, most preferred first, as language tags ("zh-CN", "en").
class Locale {
public:
    [[nodiscard]] static QStringList preferredLanguages();
    // The one language to speak, given the languages a bundle carries ('_'-separated): for the
    // first preferred language, the language itself, its base language, or a region of the
    // base ("zh" finds "zh_CN"); English, the language the texts are written in, as soon as
    // English is preferred or when nothing matches. The result is an entry of `available`,
    // or "en".
    [[nodiscard]] static QString preferredLocalization(const QStringList& available);
    // Tests pin the list; an empty list returns to the system's. Set before other threads ask.
    static void setPreferredLanguages(const QStringList& languages);
};

} // namespace Platform
