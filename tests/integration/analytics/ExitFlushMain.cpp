// A minimal installer run: configures the shared reporter, sends `count` events and returns
// from main at once, so that only the exit flush can deliver them.
// Usage: tq_analytics_exit_run BUNDLE COUNT (trusts the collector through CURL_CA_BUNDLE).
// Log lines are repeated on standard output for the test to read.

#include "GoogleReporter/TQGoogleReporter.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/ScopedReplacement.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    Platform::Log::setObserver([](const QString& line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    });
    // Static: it still holds while the exit flush runs after main.
    static const Platform::ScopedReplacement<Platform::Bundle> mainBundle(
        std::make_shared<Platform::Bundle>(QString::fromLocal8Bit(argv[1])));
    TQGoogleReporter& reporter = TQGoogleReporter::shared();
    reporter.configure(TQGoogleReporter::configuredTrackerId());
    const int count = QByteArray(argv[2]).toInt();
    for (int i = 0; i < count; ++i)
        reporter.event(QStringLiteral("Launch_Success"), QString::number(i), QString());
    return 0;
}
