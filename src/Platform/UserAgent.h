#pragma once

#include <QString>
#include <functional>

namespace Platform {

// What the system's web engine sends as its user agent, and the system's version text.
class UserAgent {
public:
    // The web engine's user-agent text for an application of that name and version;
    // null when the system has no web engine to ask.
    [[nodiscard]] static QString webViewUserAgent(const QString& appName,
                                                  const QString& appVersion);
    // The operating system's human-readable name and version.
    [[nodiscard]] static QString operatingSystemVersionString();

    // Tests stand in for the web engine; an empty provider restores the system's.
    using Provider = std::function<QString(const QString& appName, const QString& appVersion)>;
    static void setProvider(Provider provider);
};

} // namespace Platform
