#pragma once

#include "Controls/TQImageView.h"
#include "Installation/Installation.h"
#include "Installation/InstallationView.h"

#include <QLabel>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <functional>

// The installer window's controller: shows the installation it is given and forwards the
// window's actions to it. The installation's operations keep their names here as forwards.
// Main thread only.
class TQWindowController : public QObject, public InstallationView {
    Q_OBJECT

public:
    // `installation` must outlive the controller.
    explicit TQWindowController(Installation& installation, QObject* parent = nullptr);
    ~TQWindowController() override;

    // The installation's operations, by their familiar names.
    void clickInstallButton() { m_installation.clickInstallButton(); }
    void startInstall() { m_installation.startInstall(); }
    void download(const QUrl& url) { m_installation.download(url); }
    void unarchive(const QUrl& packageURL) { m_installation.unarchive(packageURL); }
    void install(const QUrl& bundleURL) { m_installation.install(bundleURL); }
    void launch(const QUrl& applicationURL) { m_installation.launch(applicationURL); }
    void endInstall(bool launched) { m_installation.endInstall(launched); }
    void checkApplicationHasInstalled() { m_installation.checkApplicationHasInstalled(); }
    [[nodiscard]] bool isInstalling() const { return m_installation.isInstalling(); }
    [[nodiscard]] Installation& installation() const { return m_installation; }
    // The close button only miniaturizes the window; always false.
    bool windowShouldClose();
    // The Cancel button: stops the installation, which removes what it had half-made and
    // returns the window to "Install".
    void cancelInstall();

    // InstallationView
    void setInstallButtonTitle(const QString& title) override;
    void installationStarted() override;
    void setStageLabel(const QString& text) override;
    // Shows progress in percent, at most every 0.1 s and only for a change of 0.1 or more; a
    // value dropped for coming too soon is shown once the interval has passed.
    void updateProgress(double value) override;
    // The line under the bar: bytes, speed, time left or "Retrying…" while downloading, then
    // the stage.
    void updateProgressDetail(const InstallationProgress& detail) override;
    void showInstallErrorDialog(const QString& message) override;
    void selectInstallDirectory(std::function<void(const QUrl& directory)> answer) override;
    void installationEnded() override;

    [[nodiscard]] QMainWindow* window() const { return _window; }
    [[nodiscard]] QPushButton* installButton() const { return _installButton; }
    [[nodiscard]] QWidget* progressBox() const { return _progressBox; }
    [[nodiscard]] QProgressBar* progressBar() const { return _progressBar; }
    [[nodiscard]] QLabel* progressLabel() const { return _progressLabel; }
    [[nodiscard]] QLabel* downloadLabell() const { return _downloadLabell; }
    [[nodiscard]] QLabel* progressDetailLabel() const { return _progressDetailLabel; }
    [[nodiscard]] QPushButton* cancelButton() const { return _cancelButton; }
    [[nodiscard]] TQImageView* logoImageView() const { return _logoImageView; }
    [[nodiscard]] TQImageView* iconImageView() const { return _iconImageView; }
    [[nodiscard]] QLabel* titleLabel() const { return _titleLabel; }
    [[nodiscard]] QLabel* sloganLabel() const { return _sloganLabel; }
    [[nodiscard]] QTextBrowser* messageTextView() const { return _messageTextView; }
    [[nodiscard]] QString installButtonTitle() const { return _installButtonTitle; }

    // Takes the outlets from the main layout's window (by object name) and wires the Install
    // button and the close button; the names of missing outlets are added to `missing`.
    void connectOutlets(QMainWindow* window, QStringList& missing);
    // Prepares the window once its layout is loaded and looks for an installed copy.
    void awakeFromNib();
    void localizeString();

    // Seconds on a monotonic clock for the progress throttle; tests steer it.
    using Clock = std::function<double()>;
    void setClock(Clock clock);

    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    // The installation is over (launched, failed and answered, or cancelled).
    void installationDidEnd();

private:
    void showProgress(double value);
    // Names and descriptions for screen readers, from the texts shown.
    void describeForAccessibility();

    Installation& m_installation;

    // Progress display.
    double _lastRecordDate = -1; // clock seconds of the last shown update; -1: none
    double _lastProgressValue = 0;
    double _latestProgressValue = 0;
    QTimer _trailingProgress;
    Clock _clock;

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
    QPointer<QLabel> _progressDetailLabel;
    QPointer<QPushButton> _cancelButton;

    QString _installButtonTitle;
};
