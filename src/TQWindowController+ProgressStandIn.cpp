#include "TQWindowController.h"

// Stand-in for the window side's progress display until it lands; remove then.
void TQWindowController::updateProgress(double) {}
