#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>

#include "Controls/TQImageView.h"
#include "Platform/SearchPaths.h"

// The installer window's controller and the installation pipeline. The class is spread
// over one file per concern: TQWindowController.cpp (window side) and
// TQWindowController+<Stage>.cpp for each stage and the installed-copy check.
class TQWindowController : public QObject {
    Q_OBJECT

public:
    explicit TQWindowController(QObject* parent = nullptr);
    ~TQWindowController() override;

    // --- Installation flow (TQWindowController+Download.cpp) ---

    // The action of installButton, whether it reads "Install" or "Launch". Main thread.
    void clickInstallButton();
    // Begins an installation. Main thread.
    void startInstall();
    // The download stage; url may be null.
    void download(const QUrl& url);
    // Ends the installation from any thread; launched is true when the launch stage succeeded.
    void endInstall(bool launched);
    // Shows the error dialog, from any thread.
    void showInstallErrorDialog();
    // The close button only miniaturizes the window; always false.
    bool windowShouldClose();
    [[nodiscard]] bool isInstalling() const { return _isInstalling; }

    // --- Unarchive, install and launch stages (one file each) ---

    void unarchive(const QUrl& packageURL);
    void install(const QUrl& bundleURL);
    [[nodiscard]] bool copy(const QString& source, const QString& destination);
    [[nodiscard]] bool copyWithAuthority(const QString& source, const QString& destination);
    // Shows the directory panel; the callback (may be empty) gets the chosen folder or a
    // null URL, on the main thread.
    void selectInstallDirectory(std::function<void(const QUrl& directory)> callback);
    void launch(const QUrl& applicationURL);

    // --- Installed application check (TQWindowController+InstalledCheck.cpp) ---

    // The product's bundle identifier; "com.orvanta.Scribora" when the settings name none.
    [[nodiscard]] static QString installAppBundleID();
    // -1 when a is the newer version, 1 when b is, 0 when equal (the reverse of the usual sign).
    [[nodiscard]] static qint64 compare(const QString& a, const QString& b);
    // True when the bundle at url is the configured product in version 7.0.0 or newer.
    [[nodiscard]] static bool isScriboraApplication(const QUrl& url);
    void checkStandardApplicationHasInstalled(Platform::ApplicationsFolder folder);
    void checkApplicationHasInstalled();
    // The folder to install into (created for the user when needed), or null.
    [[nodiscard]] QUrl applicationURL() const;

    // --- Window side (TQWindowController.cpp) ---

    void setInstallButtonTitle(const QString& title);
    // Shows progress in percent, throttled; safe from any thread.
    void updateProgress(double value);

    [[nodiscard]] QMainWindow* window() const { return _window; }
    [[nodiscard]] QPushButton* installButton() const { return _installButton; }
    [[nodiscard]] QWidget* progressBox() const { return _progressBox; }
    [[nodiscard]] QProgressBar* progressBar() const { return _progressBar; }
    [[nodiscard]] QLabel* progressLabel() const { return _progressLabel; }
    [[nodiscard]] QLabel* downloadLabell() const { return _downloadLabell; }

    [[nodiscard]] QString installButtonTitle() const { return _installButtonTitle; }
    [[nodiscard]] QUrl installedApplicationURL() const { return _applicationURL; }

    // Window side

    // Takes the outlets from the main layout's window (by object name) and wires the Install
    // button and the close button; the names of missing outlets are added to `missing`.
    void connectOutlets(QMainWindow* window, QStringList& missing);
    // Prepares the window once its layout is loaded. Main thread.
    void awakeFromNib();
    void localizeString();

    [[nodiscard]] TQImageView* logoImageView() const { return _logoImageView; }
    [[nodiscard]] TQImageView* iconImageView() const { return _iconImageView; }
    [[nodiscard]] QLabel* titleLabel() const { return _titleLabel; }
    [[nodiscard]] QLabel* sloganLabel() const { return _sloganLabel; }
    [[nodiscard]] QTextBrowser* messageTextView() const { return _messageTextView; }

    // Seconds on a monotonic clock, read by updateProgress on any thread. Tests steer it;
    // set it before progress is reported.
    using Clock = std::function<double()>;
    void setClock(Clock clock);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Installation state.
    QUrl _applicationURL;
    QUrl _installDirectoryURL;
    std::atomic<bool> _isInstalling{false};
    // Progress display: written from the main thread and the downloader's thread.
    std::atomic<double> _lastRecordDate{-1}; // clock seconds of the last scheduled update; -1: none
    std::atomic<double> _lastProgressValue{0};
    QDateTime _date;

    // Window outlets, owned by the window's layout.
    QPointer<QMainWindow> _window;
    QPointer<TQImageView> _logoImageView;
    QPointer<TQImageView> _iconImageView;
    QPointer<QLabel> _titleLabel;
    QPointer<QLabel> _sloganLabel;
    QPointer<QTextBrowser> _messageTextView;
    QPointer<QPushButton> _installButton;
    QPointer<QWidget> _progressBox;
    QPointer<QProgressBar> _progressBar;
    QPointer<QLabel> _progressLabel;
    QPointer<QLabel> _downloadLabell;

    QString _installButtonTitle;

    // Window side
    void scheduleTrailingProgress(double now, double last);
    void showTrailingProgress();
    void showProgress(double value);

    std::atomic<double> _latestProgressValue{0};
    std::atomic<bool> _trailingProgressScheduled{false};
    Clock _clock;
    // Blocks queued for the main thread hold this weakly: a block outliving the controller
    // does nothing.
    std::shared_ptr<int> _lifetime = std::make_shared<int>(0);

private:
    // Pipeline
    // The installation directory and the stage timer are shared by the main thread and the
    // downloader's queue; they are reached only through these accessors, under the mutex.
    [[nodiscard]] QUrl installDirectoryURL() const;
    void setInstallDirectoryURL(const QUrl& url);
    void markStageStart();
    // Seconds since the stage began, as "%.2f".
    [[nodiscard]] QString stageDuration() const;
    // _applicationURL is written on the main thread only; this hops there from any thread.
    void setApplicationURL(const QUrl& url);
    void setStageLabel(const QString& text);
    void launchInstalledApplication();
    // An analytics event of the pipeline; a null text is left out of the hit.
    static void sendEvent(const QString& category, const QString& action = QString(),
                          const QString& label = QString());
    // The end of a stage that failed: the failure event, the log line and the error dialog.
    void failStage(const QString& category, const QString& message, const QString& label);
    void unarchiveZip(const QUrl& packageURL, const QUrl& unpackURL);
    void unarchiveDiskImage(const QUrl& packageURL, const QUrl& unpackURL);
    void selectDirectoryAfterFailedCopy(const QUrl& bundleURL, const QString& destination);

    mutable std::mutex _pipelineMutex;
};
