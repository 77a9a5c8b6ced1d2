// A minimal installer run: configures the shared reporter, sends `count` events and returns
// from main at once, so that only the exit flush can deliver them.
// Usage: tq_analytics_exit_run BUNDLE COUNT (trusts the collector through CURL_CA_BUNDLE).

#include "GoogleReporter/TQGoogleReporter.h"
#include "Platform/Bundle.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    Platform::Bundle::setMainBundlePath(QString::fromLocal8Bit(argv[1]));
    TQGoogleReporter& reporter = TQGoogleReporter::shared();
    reporter.configure(TQGoogleReporter::configuredTrackerId());
    const int count = QByteArray(argv[2]).toInt();
    for (int i = 0; i < count; ++i)
        reporter.event(QStringLiteral("Launch_Success"), QString::number(i), QString());
    return 0;
}
