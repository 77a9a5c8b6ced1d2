#pragma once

#include <QString>
#include <functional>

namespace Platform {

// What the system's web engine sends as its user agent, and the system's version text.
// Tests stand in for the web engine by replacing the instance with ScopedReplacement.
class UserAgent {
public:
    using Provider = std::function<QString(const QString& appName, const QString& appVersion)>;

    // `webEngine` answers for the web engine; an empty one asks the system's.
    explicit UserAgent(Provider webEngine = {}) : m_webEngine(std::move(webEngine)) {}

    // The web engine's user-agent text for an application of that name and version;
    // null when the system has no web engine to ask.
    [[nodiscard]] static QString webViewUserAgent(const QString& appName,
                                                  const QString& appVersion);
    // The operating system's human-readable name and version.
    [[nodiscard]] static QString operatingSystemVersionString();

private:
    Provider m_webEngine;
};

} // namespace Platform
