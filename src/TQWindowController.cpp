#include "TQWindowController.h"

TQWindowController::TQWindowController(QObject* parent) : QObject(parent) {}

TQWindowController::~TQWindowController() = default;

void TQWindowController::setInstallButtonTitle(const QString& title) {
    _installButtonTitle = title;
}
