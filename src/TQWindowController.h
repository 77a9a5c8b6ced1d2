#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <atomic>

// The installer window's controller and the installation pipeline. The class is spread
// over one file per concern: TQWindowController.cpp (window side) and
// TQWindowController+<Stage>.cpp for each stage and the installed-copy check.
class TQWindowController : public QObject {
    Q_OBJECT

public:
    explicit TQWindowController(QObject* parent = nullptr);
    ~TQWindowController() override;

    // Installed application check and version comparison (main thread).

    // The product's bundle identifier; "com.orvanta.Scribora" when the settings name none.
    [[nodiscard]] static QString installAppBundleID();
    // -1 when a is the newer version, 1 when b is, 0 when equal (the reverse of the usual sign).
    [[nodiscard]] static qint64 compare(const QString& a, const QString& b);
    // True when the bundle at url is the configured product in version 7.0.0 or newer.
    [[nodiscard]] static bool isScriboraApplication(const QUrl& url);
    void checkStandardApplicationHasInstalled(long mask);
    void checkApplicationHasInstalled();
    // The folder to install into (created for the user when needed), or null.
    [[nodiscard]] QUrl applicationURL() const;

    // Window side.
    void setInstallButtonTitle(const QString& title);
    [[nodiscard]] QString installButtonTitle() const { return _installButtonTitle; }

    [[nodiscard]] bool isInstalling() const { return _isInstalling; }
    [[nodiscard]] QUrl installedApplicationURL() const { return _applicationURL; }

private:
    // Installation state.
    QUrl _applicationURL;
    QUrl _installDirectoryURL;
    std::atomic<bool> _isInstalling{false};
    QDateTime _lastRecordDate;
    double _lastProgressValue = 0;
    QDateTime _date;

    QString _installButtonTitle;
};
