// Stands in for the installation flow until its stage files are merged; delete this file
// then. Only what the window side calls is here.
#include "TQWindowController.h"

void TQWindowController::clickInstallButton() {}

bool TQWindowController::windowShouldClose() {
    if (_window)
        _window->showMinimized();
    return false;
}
