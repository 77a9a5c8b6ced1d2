#pragma once

#include "GoogleReporter/TQGoogleReporter.h"
#include "HttpsTestServer.h"
#include "Installation/Installation.h"
#include "Installation/InstallationView.h"
#include "LogCapture.h"
#include "Platform/Bundle.h"
#include "Platform/DiskImageTool.h"
#include "Platform/FileManager.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/SearchPaths.h"
#include "Platform/URLSession.h"
#include "Platform/Workspace.h"
#include "RecordingHitTransport.h"
#include "TQDownloader.h"
#include "TestEnvironment.h"

#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// An analytics event as the collector receives it; a null text was left out of the hit.
struct Event {
    QString category;
    QString action;
    QString label;
    bool operator==(const Event&) const = default;
};
void PrintTo(const Event& event, std::ostream* out);

// The events of the hits a transport recorded, in the order they were sent.
[[nodiscard]] QList<Event> eventsOf(const RecordingHitTransport& transport);

// The machine-wide applications folder of the test (or none), with its data folder "share"
// beside it; the user's stay the default.
class TestSearchPaths : public Platform::SearchPaths {
public:
    explicit TestSearchPaths(QString applications) : m_applications(std::move(applications)) {}
    QString applicationDirectory(Platform::ApplicationsFolder folder) const override;
    QString desktopDataDirectory(Platform::ApplicationsFolder folder) const override;

private:
    QString m_applications;
};

// The real file manager, but items whose names match `failingMoves` (a regular expression)
// cannot be moved, as across file systems; counts the copies that ran to their end.
struct SteeredFiles : Platform::FileManager {
    bool moveItemAtPath(const QString& from, const QString& to, QString* error) const override {
        const bool fails = !failingMoves.isEmpty() &&
                           QFileInfo(from).fileName().contains(QRegularExpression(failingMoves));
        return FileManager::moveItemAtPath(from, fails ? QStringLiteral("/proc/moved") : to, error);
    }
    bool copyItemAtPath(const QString& from, const QString& to, QString* error,
                        std::stop_token stop) const override {
        const bool copied = FileManager::copyItemAtPath(from, to, error, std::move(stop));
        finishedCopies += copied;
        return copied;
    }
    QString failingMoves;
    mutable std::atomic<int> finishedCopies{0};
};

// Records web addresses instead of opening a browser; bundles are opened for real.
class RecordingWorkspace : public Platform::Workspace {
public:
    bool openURL(const QUrl& url) override;
    QList<QUrl> webAddresses;
};

// Records what the installation shows; answers each directory panel with the next answer
// (a null URL cancels).
class RecordingView : public InstallationView {
public:
    void setInstallButtonTitle(const QString& title) override { this->title = title; }
    void installationStarted() override { shown << QStringLiteral("started"); }
    void setStageLabel(const QString& text) override { labels << text; }
    void updateProgress(double value) override { progress << value; }
    void showInstallErrorDialog(const QString& message) override {
        ++dialogs;
        messages << message;
    }
    void selectInstallDirectory(std::function<void(const QUrl&)> answer) override;
    void installationEnded() override { shown << QStringLiteral("ended"); }

    QString title;
    QStringList shown;
    QStringList labels;
    QStringList messages;
    QList<double> progress;
    int dialogs = 0;
    int panels = 0;
    QList<QUrl> answers;
};

// An installation with real parts: the downloader against a scripted HTTPS server that is the
// link service and the package server, the real extractors and copies in the test's folders,
// the sample product Scribora launched for real. The administrator prompt and the browser are
// stand-ins; the clock moves 0.25 s at each reading.
class InstallationTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh installation (and downloader) with these parts; the records start empty.
    void restart();
    // Writes the installer's settings; extra keys override the defaults.
    void writeInstallerSettings(const QVariantMap& extra = {});
    // The machine-wide applications folder the installation sees.
    void searchApplicationsIn(const QString& folder);
    // What the link service's c1 leads to, on this server.
    void linkPackageTo(const QString& path);
    void serveExample(const QString& name);
    // A copy of the sample product's bundle in `folder`.
    [[nodiscard]] QString copyOfScribora(const QString& folder) const;
    // The program paths of Scribora's starts so far.
    [[nodiscard]] static QStringList scriboraStarts();
    // Waits until the installation has ended, failed or is waiting for an answer.
    bool waitForRest();
    [[nodiscard]] QStringList applicationsEntries() const;

    std::shared_ptr<SteeredFiles> files = std::make_shared<SteeredFiles>();
    const Platform::ScopedReplacement<Platform::FileManager> steeredFiles{files};
    std::optional<Platform::ScopedReplacement<Platform::Bundle>> mainBundle;
    std::optional<Platform::ScopedReplacement<Platform::SearchPaths>> searchPaths;
    std::optional<Platform::ScopedReplacement<Platform::DiskImageTool>> diskImageTool;
    QString root;
    QString applications;
    HttpsTestServer server;
    QString packagePath = QStringLiteral("/packages/Scribora.zip");
    std::shared_ptr<Platform::URLSession> session;
    std::shared_ptr<RecordingHitTransport> transport;
    std::unique_ptr<TQGoogleReporter> reporter;
    std::shared_ptr<RecordingWorkspace> workspace;
    std::unique_ptr<TQDownloader> downloader;
    Installation::Extractor unzip;
    Installation::Extractor unarchiveDiskImage;
    Installation::PrivilegedRunner runPrivileged;
    std::unique_ptr<Installation> installation;
    RecordingView view;
    LogCapture log;
};
