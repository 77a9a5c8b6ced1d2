#include "Installation/Installation.h"

#include "Extensions/StringExtension.h"
#include "Installation/Removal.h"

bool Installation::removeInstalledCopy(const QString& bundlePath, QString* message) {
    const bool removed = Removal(m_parts.files, m_parts.runPrivileged).remove(bundlePath, message);
    m_applicationURL = QUrl();
    if (m_view)
        m_view->setInstallButtonTitle(localized(QStringLiteral("Install")));
    checkApplicationHasInstalled();
    return removed;
}
