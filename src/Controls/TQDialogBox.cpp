#include "Controls/TQDialogBox.h"

// Placeholder until the dialog is built: nothing is shown.
TQDialogBox::TQDialogBox() = default;
TQDialogBox::~TQDialogBox() = default;
void TQDialogBox::setTitle(const QString&) {}
void TQDialogBox::setMessage(const QString&) {}
void TQDialogBox::addAction(const QString&, const QString&, std::function<void()>) {}
void TQDialogBox::beginSheet(QWidget*) {}
