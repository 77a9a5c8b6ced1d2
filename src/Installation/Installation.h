#pragma once

#include "Installation/InstallationProgress.h"
#include "Installation/InstallationView.h"
#include "Platform/MainQueue.h"
#include "Platform/SearchPaths.h"
#include "TQDownloader.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

class TQGoogleReporter;
class VerifiedPackage;
namespace Platform {
class FileManager;
class Workspace;
} // namespace Platform

// One installation of the product: download, unarchive, install and launch, each stage calling
// the next when it succeeds, with the events, log lines and error dialog of each failure. Owned
// by the application, it outlives the window, which it reaches only through InstallationView.
//
// Threads: the Install click, the start, Try Again and the dialog answers come on the main
// thread; the stages run on the downloader's queue; the view is called on the main thread only.
class Installation {
public:
    enum class State {
        Idle,           // nothing runs; the button reads "Install" or "Launch"
        Downloading,    // the package is being fetched
        Unarchiving,    // the package is being unpacked
        Installing,     // the bundle is being copied into place
        AwaitingAnswer, // the directory panel after a failed copy waits for the user
        Launching,      // the installed copy is being opened
        Finished,       // the installed copy was opened
        Failed,         // a stage failed; the error dialog waits for the user
        Stopped,        // stop() ended the installation
    };

    // The extractors' shape: package, unpack folder, progress (percent, 100), stop.
    using Extractor = std::function<bool(const QUrl& package, const QUrl& destination,
                                         const std::function<void(double, double)>& progress,
                                         std::stop_token stop)>;
    // Runs a tool as the administrator to its end; its exit status, or -1 when it never ran.
    using PrivilegedRunner =
        std::function<int(const QString& launchPath, const QStringList& arguments)>;
    // Seconds on a monotonic clock.
    using Clock = std::function<double()>;

    struct Collaborators {
        TQDownloader& downloader;
        TQGoogleReporter& reporter;
        Platform::FileManager& files;
        Platform::Workspace& workspace;
        Extractor unzip;
        Extractor unarchiveDiskImage;
        PrivilegedRunner runPrivileged;
        Clock clock;
    };
    // The system's parts: the shared downloader, reporter, file manager and workspace, the
    // two extractors, the administrator prompt and the steady clock.
    [[nodiscard]] static Collaborators systemCollaborators();
    // The system's administrator prompt: runs a tool after asking for the password.
    [[nodiscard]] static int runAsAdministrator(const QString& launchPath,
                                                const QStringList& arguments);

    explicit Installation(Collaborators collaborators);
    // Stops what runs and waits for it, however long that takes.
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // The window that shows this installation, or null. Main thread.
    void setView(InstallationView* view);
    // Forgets `view` when it is the one shown. Main thread.
    void detachView(const InstallationView* view);

    // The flow (Installation+Download.cpp).
    void clickInstallButton();
    void startInstall();
    void download(const QUrl& url);
    void endInstall(bool launched);
    // The error dialog with the message of a lost connection, or with `message` (localized).
    void showInstallErrorDialog();
    void showInstallErrorDialog(const QString& message);
    // The error dialog's three answers. Main thread.
    void tryAgain();
    void directDownload();
    void quitAfterError();
    [[nodiscard]] bool isInstalling() const { return m_isInstalling; }
    [[nodiscard]] State state() const { return m_state; }

    // The stages (one file each). Run on the downloader's queue.
    // `verifiedURL`, when given, is the link to the package's verified file: what is unpacked.
    void unarchive(const QUrl& packageURL, const QUrl& verifiedURL = QUrl());
    void install(const QUrl& bundleURL);
    [[nodiscard]] bool copy(const QString& source, const QString& destination);
    // Copies as copy() does, as the administrator, after one prompt, through the tool below.
    [[nodiscard]] bool copyWithAuthority(const QString& source, const QString& destination);
    // The installer bundle's Contents/Linux/installbundle.
    [[nodiscard]] static QString privilegedInstallTool();

    // How a package is unpacked, by its file name's extension (either case).
    enum class PackageKind { Zip, DiskImage, Unsupported };
    [[nodiscard]] static PackageKind packageKind(const QString& fileName);
    // Shows the directory panel; the callback (may be empty) gets the chosen folder or a null
    // URL, on the main thread.
    void selectInstallDirectory(std::function<void(const QUrl& directory)> callback);
    // Writes the installed copy's menu entry; a failure is only logged.
    void addDesktopEntry(const QString& bundlePath);
    void launch(const QUrl& applicationURL);

    // The installed copy (Installation+InstalledCheck.cpp).
    [[nodiscard]] static QString installAppBundleID();
    // -1 when a is the newer version, 1 when b is, 0 when equal (the reverse of the usual sign).
    [[nodiscard]] static qint64 compare(const QString& a, const QString& b);
    // True when the bundle at url is the configured product in its minimum version or newer.
    [[nodiscard]] static bool isScriboraApplication(const QUrl& url);
    void checkStandardApplicationHasInstalled(Platform::ApplicationsFolder applications);
    // Looks for an installed copy and offers "Launch" for it. Main thread, at start.
    void checkApplicationHasInstalled();
    // The folder to install into (created for the user when needed), or null.
    [[nodiscard]] QUrl applicationURL() const;
    [[nodiscard]] QUrl installedApplicationURL() const;
    // Removes a copy whose removal the user confirmed (Removal), then looks for an installed
    // copy again, so the button reads "Install" unless another one is there. *message says
    // what happened. Main thread, while no installation runs.
    [[nodiscard]] bool removeInstalledCopy(const QString& bundlePath, QString* message);

    // Ends the installation: cancels the transfer, ends an extraction or a copy between two
    // items and removes what that stage had half-made (never what existed before), then waits
    // up to `timeout` for the work to end. The state becomes Stopped and the window returns to
    // its idle state. False when the work had not ended in time. Main thread.
    bool stop(std::chrono::milliseconds timeout);

private:
    // Asks the running stage to end and waits up to `timeout`; false when it had not ended.
    [[nodiscard]] bool endWork(std::chrono::milliseconds timeout);
    // Runs on the main thread unless the installation is gone or this run was stopped.
    void onMainThread(std::function<void()> work);
    // The same, with the view, unless there is none.
    void showInView(std::function<void(InstallationView& view)> work);
    void sendEvent(const QString& category, const QString& action = QString(),
                   const QString& label = QString());
    // A failed stage: the failure event, the error dialog telling `shown` (the message of a
    // lost connection when null) and the log line.
    void failStage(const QString& category, const QString& message, const QString& label,
                   const QString& shown = QString());
    // What the dialog tells when writing into `folder` failed: a full disk when less than
    // `needed` bytes are free there, else `otherwise` (a folder that cannot be written when
    // null).
    [[nodiscard]] QString writeFailureMessage(const QString& folder, qint64 needed,
                                              const QString& otherwise = QString()) const;
    // What the dialog tells about the download that just failed. Downloader's queue.
    [[nodiscard]] QString downloadFailureMessage() const;
    void reportProgress(double value);
    void reportDetail(const InstallationProgress& detail);
    void didReceiveStatus(const TQDownloader::TransferStatus& status);
    void setStageLabel(const QString& key);
    void markStageStart();
    // Seconds since the stage began, as "%.2f".
    [[nodiscard]] QString stageDuration() const;
    [[nodiscard]] QUrl installDirectoryURL() const;
    void setInstallDirectoryURL(const QUrl& url);
    void setApplicationURL(const QUrl& url);
    [[nodiscard]] std::stop_token stopToken() const;
    void launchInstalledApplication();
    // Remembers an accepted installed copy and has the button read "Launch". Main thread.
    void offerLaunch(const QUrl& applicationURL);
    void didDownload(const QUrl& location);
    // The downloaded package checked against the maker's key (Installation+Verify.cpp); null
    // after the failure was reported, or when the run was stopped.
    [[nodiscard]] std::unique_ptr<VerifiedPackage> verifyDownload(const QString& packagePath);
    // Whether `folder`'s file system has room for `bytes` and a margin
    // (Installation+Preflight.cpp); otherwise the "Preflight_Fail" event with `stage`, a log line
    // and the error dialog. Unknown sizes pass.
    [[nodiscard]] bool hasRoom(const QString& stage, const QString& folder,
                               std::optional<qint64> bytes);
    [[nodiscard]] bool hasRoomToUnpack(const QString& packagePath, const QString& source);
    void unarchiveZip(const QUrl& packageURL, const QUrl& unpackURL);
    void unarchiveDiskImage(const QUrl& packageURL, const QUrl& unpackURL);
    [[nodiscard]] bool extract(const Extractor& extractor, const QUrl& packageURL,
                               const QUrl& unpackURL);
    void selectDirectoryAfterFailedCopy(const QUrl& bundleURL, const QString& destination);
    // The bundle is at `destination`: the success events, its menu entry, the launch.
    void installed(const QString& destination);

    Collaborators m_parts;
    std::atomic<State> m_state{State::Idle};
    // Written on the main thread only; read by the quit decision.
    std::atomic<bool> m_isInstalling{false};
    // Main thread only.
    InstallationView* m_view = nullptr;
    QUrl m_applicationURL;

    // Shared by the main thread and the downloader's queue.
    mutable std::mutex m_mutex;
    QUrl m_installDirectoryURL;
    double m_date = 0;
    std::stop_source m_stop;

    // The latest progress, handed to the main thread by one pending block at a time.
    std::atomic<double> m_progress{0};
    std::atomic<bool> m_progressPending{false};
    // The same for the detail; guarded by m_mutex.
    InstallationProgress m_detail;
    std::atomic<bool> m_detailPending{false};

    Platform::Lifetime m_lifetime;
};
