#include "Installation/Installation.h"

#include "GoogleReporter/TQGoogleReporter.h"
#include "Installation/InstallationTable.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "Platform/Workspace.h"

#include <QFileInfo>

using namespace InstallationTable;

void Installation::launch(const QUrl& applicationURL) {
    m_state = State::Launching;
    if (m_parts.workspace.openURL(applicationURL)) {
        setApplicationURL(applicationURL);
        m_parts.reporter.createWrapperTag();
        (void)Platform::UserDefaults::standard().setString(
            QStringLiteral("ApplicationInstallDirectory"), applicationURL.toLocalFile());
        sendEvent(launchSuccess, applicationURL.toLocalFile());
        endInstall(true);
        return;
    }
    const QString parent = QFileInfo(applicationURL.toLocalFile()).path();
    sendEvent(launchFail, QString(), m_parts.files.itemAttributesDescription(parent));
    setApplicationURL(QUrl());
    Platform::Log::write(launchFailed);
    showInstallErrorDialog();
}

void Installation::launchInstalledApplication() {
    QString error;
    (void)m_parts.workspace.launchApplication(m_applicationURL, &error);
    Platform::Log::write(error.isNull() ? QStringLiteral("(null)") : error);
}
