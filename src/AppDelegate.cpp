#include "AppDelegate.h"

#include "Branding.h"
#include "Controls/TQDialogBox.h"
#include "Controls/TQLayoutLoader.h"
#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "GoogleReporter/TQGoogleReporter.h"
#include "Installation/InstallationTable.h"
#include "Installation/Removal.h"
#include "Localization/TQLocalization.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/Workspace.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QSessionManager>

namespace {

constexpr char menuItemSuffix[] = "MenuItem";

// The slot a menu item named "<name>MenuItem" sends its action to: "click<Name>MenuItem()".
QByteArray actionSignature(const QString& itemName) {
    return "click" + itemName.left(1).toUpper().toUtf8() + itemName.mid(1).toUtf8() + "()";
}

} // namespace

AppDelegate::AppDelegate(QObject* parent, EventSink eventSink)
    : QObject(parent), _eventSink(std::move(eventSink)) {
    if (!qApp)
        return;
    qApp->installEventFilter(this);
    // Logging out of the desktop: refused while an installation runs and is not confirmed.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (applicationShouldTerminate() == TerminateCancel)
            manager.cancel();
    });
}

void AppDelegate::connectOutlets(QMainWindow* window, TQWindowController* windowController,
                                 QStringList& missing) {
    _windowController = windowController;
    _mainMenu = findOutlet<QMenuBar>(window, QStringLiteral("mainMenu"), missing);
    _aboutMenuItem = findOutlet<QAction>(window, QStringLiteral("aboutMenuItem"), missing);
    _hideMenuItem = findOutlet<QAction>(window, QStringLiteral("hideMenuItem"), missing);
    _quitMenuItem = findOutlet<QAction>(window, QStringLiteral("quitMenuItem"), missing);
    _removeMenuItem = window->findChild<QAction*>(QStringLiteral("removeMenuItem"));
    if (auto* menu = window->findChild<QMenu*>(QStringLiteral("applicationMenu")))
        _productItems.append({menu->menuAction(), QStringLiteral("%@")});
    if (auto* item = window->findChild<QAction*>(QStringLiteral("productMenuItem")))
        _productItems.append({item, QStringLiteral("%@ Website")});
    if (auto* item = window->findChild<QAction*>(QStringLiteral("helpMenuItem")))
        _productItems.append({item, QStringLiteral("%@ Help")});

    const QMetaMethod triggered = QMetaMethod::fromSignal(&QAction::triggered);
    for (QAction* item : window->findChildren<QAction*>()) {
        if (!item->objectName().endsWith(QLatin1String(menuItemSuffix)))
            continue;
        const QByteArray signature = actionSignature(item->objectName());
        const int index = metaObject()->indexOfSlot(signature.constData());
        if (index < 0) {
            missing += QString::fromUtf8(signature);
            continue;
        }
        connect(item, triggered, this, metaObject()->method(index));
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    // Mnemonics come from the English title, so it is remembered before localizing.
    const QString name = Branding::productName();
    for (const auto& [item, pattern] : _productItems)
        if (item)
            rememberSourceText(item, formatted(pattern, {name}));
    localizeStrings(_mainMenu.data());
    for (const auto& [item, pattern] : _productItems)
        if (item)
            item->setText(formatted(localized(pattern), {literalMenuText(name)}));
    const QString displayName = literalMenuText(bundleDisplayName());
    if (_aboutMenuItem)
        _aboutMenuItem->setText(formatted(localized(QStringLiteral("About %@")), {displayName}));
    if (_hideMenuItem)
        _hideMenuItem->setText(formatted(localized(QStringLiteral("Hide %@")), {displayName}));
    if (_quitMenuItem)
        _quitMenuItem->setText(formatted(localized(QStringLiteral("Quit %@")), {displayName}));
    if (_removeMenuItem) {
        _removeMenuItem->setText(
            formatted(localized(QStringLiteral("Remove %@\u2026")), {displayName}));
        // What is installed changes while the installer runs; the menu looks when it opens.
        for (QObject* menu : _removeMenuItem->associatedObjects())
            if (auto* shown = qobject_cast<QMenu*>(menu))
                connect(shown, &QMenu::aboutToShow, this, &AppDelegate::updateRemoveMenuItem);
        updateRemoveMenuItem();
    }
    addMnemonics(_mainMenu.data());

    TQGoogleReporter::shared().configure(TQGoogleReporter::configuredTrackerId());
    const QString product = productID();
    if (!product.isNull())
        TQGoogleReporter::shared().setCustomDimensionArguments({product});
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    if (_shouldTerminateNow)
        return TerminateNow;
    if (!installationIsRunning())
        return TerminateNow;
    showInstallingPromptDialog();
    return TerminateCancel;
}

bool AppDelegate::installationIsRunning() const {
    return _windowController && _windowController->isInstalling();
}

void AppDelegate::showInstallingPromptDialog() {
    auto* dialog = new TQDialogBox();
    dialog->setTitle(localized(QStringLiteral("Installation still in progress")));
    dialog->setMessage(localized(
        QStringLiteral("Are you sure you want to quit before the process is completed?")));
    QPointer<AppDelegate> delegate(this);
    dialog->addAction(localized(QStringLiteral("Continue")), QString(), [delegate] {
        if (!delegate)
            return;
        delegate->sendEvent(InstallationTable::quit, InstallationTable::quitContinue);
        delegate->_shouldTerminateNow = false;
    });
    dialog->addAction(localized(QStringLiteral("Quit")), QString(), [delegate] {
        if (!delegate)
            return;
        delegate->sendEvent(InstallationTable::quit, InstallationTable::quitQuit);
        delegate->_shouldTerminateNow = true;
        QCoreApplication::exit(0);
    });
    // The question is moot once the installation is over.
    if (_windowController)
        connect(_windowController, &TQWindowController::installationDidEnd, dialog,
                &TQDialogBox::close);
    dialog->beginSheet(_windowController ? _windowController->window() : nullptr);
}

// Every way of quitting arrives here as the application's quit request: the Quit item and
// its shortcut, and the desktop's own request.
bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != qApp || event->type() != QEvent::Quit)
        return QObject::eventFilter(watched, event);
    if (applicationShouldTerminate() == TerminateNow)
        QCoreApplication::exit(0);
    return true;
}

void AppDelegate::sendEvent(const QString& category, const QString& action) {
    if (_eventSink)
        _eventSink(category, action, QString());
    else
        TQGoogleReporter::shared().event(category, action, QString());
}

void AppDelegate::clickProductMenuItem() {
    (void)Platform::Workspace::shared().openURL(productPageURL());
}

void AppDelegate::clickHelpMenuItem() {
    (void)Platform::Workspace::shared().openURL(customerServiceURL());
}

void AppDelegate::clickDirectDownloadMenuItem() {
    sendEvent(InstallationTable::directDownloadMenu, QString());
    (void)Platform::Workspace::shared().openURL(directDMGPackageURL());
}

void AppDelegate::clickPrivacyPolicyMenuItem() {
    (void)Platform::Workspace::shared().openURL(privacyPolicyURL());
}

void AppDelegate::clickLicenseMenuItem() {
    (void)Platform::Workspace::shared().openURL(licenseURL());
}

void AppDelegate::clickAboutMenuItem() {
    QWidget* window = _windowController ? _windowController->window() : nullptr;
    const QString displayName = bundleDisplayName();
    auto* about = new QMessageBox(window);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setObjectName(QStringLiteral("aboutBox"));
    about->setWindowTitle(formatted(localized(QStringLiteral("About %@")), {displayName}));
    about->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    about->setText(QStringLiteral("<b>%1</b>").arg(displayName.toHtmlEscaped()));
    QString details = formatted(localized(QStringLiteral("Version %@")), {bundleShortVersion()});
    if (!Platform::Log::filePath().isNull())
        details += QLatin1Char('\n') + formatted(localized(QStringLiteral("Log file: %@")),
                                                 {Platform::Log::filePath()});
    about->setInformativeText(details);
    about->open();
}

void AppDelegate::updateRemoveMenuItem() {
    if (!_removeMenuItem)
        return;
    QString refusal;
    const Removal removal(Platform::FileManager::shared(), Installation::runAsAdministrator);
    _removeMenuItem->setVisible(!removal.target(&refusal).isNull());
    _removeMenuItem->setEnabled(!installationIsRunning());
}

void AppDelegate::clickRemoveMenuItem() {
    if (!_windowController || installationIsRunning())
        return;
    QString refusal;
    const QString bundle =
        Removal(Platform::FileManager::shared(), Installation::runAsAdministrator).target(&refusal);
    if (bundle.isNull()) {
        Platform::Log::write(refusal);
        showRemovalMessage(refusal);
        return;
    }
    auto* dialog = new TQDialogBox();
    dialog->setTitle(formatted(localized(QStringLiteral("Remove %@?")), {Removal::productName()}));
    dialog->setMessage(formatted(
        localized(QStringLiteral("%@ will be removed, with its menu entry and icons.")), {bundle}));
    dialog->addAction(localized(QStringLiteral("Cancel")), QString(), [] {});
    QPointer<AppDelegate> delegate(this);
    dialog->addAction(localized(QStringLiteral("Remove")), QString(), [delegate, bundle] {
        if (!delegate || !delegate->_windowController)
            return;
        QString message;
        (void)delegate->_windowController->installation().removeInstalledCopy(bundle, &message);
        delegate->showRemovalMessage(message);
    });
    dialog->beginSheet(_windowController->window());
}

void AppDelegate::showRemovalMessage(const QString& message) {
    auto* dialog = new TQDialogBox();
    dialog->setTitle(
        formatted(localized(QStringLiteral("Remove %@\u2026")), {Removal::productName()}));
    dialog->setMessage(message);
    dialog->addAction(localized(QStringLiteral("OK")), QString(), [] {});
    dialog->beginSheet(_windowController ? _windowController->window() : nullptr);
}

void AppDelegate::clickHideMenuItem() {
    if (_windowController && _windowController->window())
        _windowController->window()->showMinimized();
}

void AppDelegate::clickQuitMenuItem() {
    QEvent quitRequest(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quitRequest);
}
