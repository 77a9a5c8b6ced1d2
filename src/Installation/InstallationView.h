#pragma once

#include "Installation/InstallationProgress.h"

#include <QString>
#include <QUrl>
#include <functional>

// What an installation shows and asks of its window. Every call comes on the main thread;
// texts come localized.
class InstallationView {
public:
    virtual ~InstallationView() = default;

    // The main button's title: "Install" or "Launch".
    virtual void setInstallButtonTitle(const QString& title) = 0;
    // An installation began: the progress box takes the button's place.
    virtual void installationStarted() = 0;
    // The stage beside the bar: "Downloading", "Installing".
    virtual void setStageLabel(const QString& text) = 0;
    // Progress of the whole installation in percent; the view throttles it.
    virtual void updateProgress(double value) = 0;
    // What the installation is doing, for the line under the bar; a view without one
    // ignores it.
    virtual void updateProgressDetail(const InstallationProgress&) {}
    // The error dialog telling `message`, whose buttons answer through Installation::tryAgain,
    // directDownload and quitAfterError.
    virtual void showInstallErrorDialog(const QString& message) = 0;
    // The directory panel; `answer` gets the chosen folder, or a null URL when cancelled.
    virtual void selectInstallDirectory(std::function<void(const QUrl& directory)> answer) = 0;
    // The installation is over: the button takes the progress box's place again.
    virtual void installationEnded() = 0;
};
