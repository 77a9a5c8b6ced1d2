// Caller-side cost of TQGoogleReporter::event() while the collector is stalled: a loopback
// port that takes connections and never answers. Prints the median and the 99th percentile
// of 10,000 calls, for the hits that were queued and for those dropped past the bound, with
// classic hits only and with both transports (classic and GA4) on.
// Runs in a throwaway HOME; the dropped hits' log lines go to standard error.

#include "GoogleReporter/TQGoogleReporter.h"
#include "Platform/Bundle.h"
#include "Platform/ScopedReplacement.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int calls = 10000;

// A listening socket nobody serves: connections complete and then hear nothing.
int stalledCollector(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 64) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length))
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

bool writeBundle(const QString& bundlePath, int port, const char* extraKeys) {
    if (!QDir().mkpath(bundlePath + "/Contents"))
        return false;
    QFile info(bundlePath + "/Contents/Info.plist");
    if (!info.open(QIODevice::WriteOnly))
        return false;
    info.write(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       "<key>CFBundleName</key><string>Installer</string>"
                       "<key>CFBundleIdentifier</key><string>co.quintrel.bench</string>"
                       "<key>CFBundleShortVersionString</key><string>1.0</string>"
                       "<key>CFBundleVersion</key><string>1</string>"
                       "<key>AnalyticsBaseURL</key><string>https://127.0.0.1:%1/</string>%2"
                       "</dict></plist>\n")
            .arg(port)
            .arg(QLatin1String(extraKeys))
            .toUtf8());
    return true;
}

void printFigures(const char* name, std::vector<double> micros) {
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    std::printf("%s: calls %zu, median %.2f us, p99 %.2f us, max %.2f us\n", name, micros.size(),
                median, p99, micros.back());
}

// One run of `calls` events against the stalled collector, with the installer's settings
// plus `extraKeys`.
void measure(const char* name, const QString& root, int port, const char* extraKeys) {
    const QString bundlePath = root + "/" + name + ".app";
    if (!writeBundle(bundlePath, port, extraKeys))
        return;
    const Platform::ScopedReplacement<Platform::Bundle> mainBundle(
        std::make_shared<Platform::Bundle>(bundlePath));
    std::vector<double> all;
    {
        TQGoogleReporter reporter;
        reporter.configure(QStringLiteral("UA-12345-67"));
        reporter.setCustomDimensionArguments({QStringLiteral("8021")});
        all.reserve(calls);
        for (int i = 0; i < calls; ++i) {
            const auto start = std::chrono::steady_clock::now();
            reporter.event(QStringLiteral("Install_Fail"),
                           QStringLiteral("安装失败：拷贝应用程序包失败"),
                           QStringLiteral("/home/user/Applications/Scribora (%1).app").arg(i));
            const auto end = std::chrono::steady_clock::now();
            all.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
        const auto start = std::chrono::steady_clock::now();
        const std::size_t unsent = reporter.finishSending(std::chrono::milliseconds(0));
        const auto end = std::chrono::steady_clock::now();
        std::printf("%s: stop with a stalled transfer: %.1f ms, %zu hits unsent\n", name,
                    std::chrono::duration<double, std::milli>(end - start).count(), unsent);
    }
    const auto queuedEnd = all.begin() + std::min<std::ptrdiff_t>(257, all.size());
    const std::string label = std::string(name) + ": event";
    printFigures((label + " (queued)").c_str(), std::vector<double>(all.begin(), queuedEnd));
    printFigures((label + " (dropped)").c_str(), std::vector<double>(queuedEnd, all.end()));
    printFigures((label + " (all)").c_str(), all);
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        setenv(variable, QFile::encodeName(root.path() + "/" + variable).constData(), 1);
    QCoreApplication app(argc, argv);

    int port = 0;
    const int collector = stalledCollector(port);
    if (collector < 0)
        return 1;
    measure("classic", root.path(), port, "");
    measure("classic+GA4", root.path(), port,
            "<key>AnalyticsMeasurementID</key><string>G-BENCH1</string>"
            "<key>AnalyticsAPISecret</key><string>bench-secret</string>");
    close(collector);
    return 0;
}
