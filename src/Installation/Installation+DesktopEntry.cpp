#include "Installation/Installation.h"

#include "Installation/DesktopIntegration.h"
#include "Platform/Log.h"

// Between the copy and the launch: the menu entry is a convenience, so its failure changes
// nothing of the installation, its events or its outcome.
void Installation::addDesktopEntry(const QString& bundlePath) {
    QString error;
    if (!DesktopIntegration(m_parts.files, m_parts.runPrivileged).add(bundlePath, &error))
        Platform::Log::write(QStringLiteral("No menu entry for %1: %2").arg(bundlePath, error));
}
