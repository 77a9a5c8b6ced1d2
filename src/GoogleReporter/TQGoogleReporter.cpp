#include "GoogleReporter/TQGoogleReporter.h"

// Placeholder until the reporter is built: hits go nowhere.
TQGoogleReporter& TQGoogleReporter::shared() {
    static TQGoogleReporter reporter;
    return reporter;
}

void TQGoogleReporter::configure(const QString&) {}
void TQGoogleReporter::setCustomDimensionArguments(const QStringList&) {}
QStringList TQGoogleReporter::customDimensionArguments() const {
    return {};
}
void TQGoogleReporter::event(const QString&, const QString&, const QString&, const Parameters&) {}
bool TQGoogleReporter::checkWrapperTag() const {
    return false;
}
void TQGoogleReporter::createWrapperTag() {}
