#include "Platform/UserAgent.h"

#include "Platform/SharedInstance.h"

#include <QSysInfo>
#include <sys/utsname.h>

namespace Platform {

namespace {

QString machine() {
    utsname name{};
    if (uname(&name) != 0)
        return QStringLiteral("unknown");
    return QString::fromLocal8Bit(name.machine);
}

// No web view here to ask: this is the text a WebKit engine on this system would send,
// so the collector sees a Linux machine rather than a made-up Mac.
QString systemWebEngineUserAgent(const QString& appName, const QString& appVersion) {
    return QStringLiteral("Mozilla/5.0 (X11; Linux %1) AppleWebKit/603.2.4 (KHTML, like Gecko) "
                          "%2/%3")
        .arg(machine(), appName, appVersion);
}

} // namespace

QString UserAgent::webViewUserAgent(const QString& appName, const QString& appVersion) {
    const std::shared_ptr<UserAgent> userAgent = SharedInstance<UserAgent>::pointer();
    if (userAgent->m_webEngine)
        return userAgent->m_webEngine(appName, appVersion);
    return systemWebEngineUserAgent(appName, appVersion);
}

QString UserAgent::operatingSystemVersionString() {
    return QSysInfo::prettyProductName();
}

} // namespace Platform
