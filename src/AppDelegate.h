#pragma once

#include "TQWindowController.h"

#include <QAction>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

// The application's delegate: start-up, the menu actions, and the decision whether the
// installer may quit, with the quit prompt while an installation runs. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Where the delegate's analytics events go: category, action, label (null when absent).
    using EventSink =
        std::function<void(const QString& category, const QString& action, const QString& label)>;
    // Termination replies, with the values of the desktops that have them.
    enum TerminateReply { TerminateCancel = 0, TerminateNow = 1 };

    // An empty sink sends the events to the shared analytics reporter. The delegate watches
    // the application's quit requests once it exists.
    explicit AppDelegate(QObject* parent = nullptr, EventSink eventSink = {});

    // Takes the outlets from the main layout's window (by object name) and wires every menu
    // item named "<name>MenuItem" to the slot "click<Name>MenuItem"; the names of missing
    // outlets and actions are added to `missing`.
    void connectOutlets(QMainWindow* window, TQWindowController* windowController,
                        QStringList& missing);

    void applicationDidFinishLaunching();
    [[nodiscard]] TerminateReply applicationShouldTerminate();
    void showInstallingPromptDialog();

    [[nodiscard]] QMenuBar* mainMenu() const { return _mainMenu; }
    [[nodiscard]] QAction* aboutMenuItem() const { return _aboutMenuItem; }
    [[nodiscard]] QAction* hideMenuItem() const { return _hideMenuItem; }
    [[nodiscard]] QAction* quitMenuItem() const { return _quitMenuItem; }
    [[nodiscard]] TQWindowController* windowController() const { return _windowController; }

    bool eventFilter(QObject* watched, QEvent* event) override;

public Q_SLOTS:
    void clickProductMenuItem();
    void clickHelpMenuItem();
    void clickDirectDownloadMenuItem();
    void clickPrivacyPolicyMenuItem();
    void clickLicenseMenuItem();
    // The application menu's standard items.
    void clickAboutMenuItem();
    // "Remove <product>…": shown while a copy this installer installed is there.
    void clickRemoveMenuItem();
    void clickHideMenuItem();
    void clickQuitMenuItem();

private:
    [[nodiscard]] bool installationIsRunning() const;
    void sendEvent(const QString& category, const QString& action);
    void updateRemoveMenuItem();
    void showRemovalMessage(const QString& message);

    bool _shouldTerminateNow = false;
    QPointer<QMenuBar> _mainMenu;
    QPointer<QAction> _aboutMenuItem;
    QPointer<QAction> _hideMenuItem;
    QPointer<QAction> _quitMenuItem;
    // Optional: a maker's layout may leave it out.
    QPointer<QAction> _removeMenuItem;
    // Items titled from the product's name, each with its pattern (a localization key).
    QList<std::pair<QPointer<QAction>, QString>> _productItems;
    QPointer<TQWindowController> _windowController;
    EventSink _eventSink;
};
