#include "Controls/TQMainLayout.h"

#include "AppDelegate.h"
#include "Controls/TQDialogBox.h"
#include "Controls/TQLayoutLoader.h"
#include "TQWindowController.h"

TQMainLayout::~TQMainLayout() = default;

std::unique_ptr<TQMainLayout> TQMainLayout::load(QString* error, Installation& installation,
                                                 std::unique_ptr<AppDelegate> delegate) {
    // Failures are told in the dialog: one that cannot be shown is a start-up error too.
    if (!TQDialogBox::checkLayout(error))
        return nullptr;
    QWidget* loaded = TQLayoutLoader::loadLayout(QStringLiteral("MainMenu"), nullptr, error);
    if (!loaded)
        return nullptr;
    std::unique_ptr<QWidget> root(loaded);
    auto* window = qobject_cast<QMainWindow*>(loaded);
    if (!window) {
        if (error)
            *error = QStringLiteral("The layout MainMenu holds no main window");
        return nullptr;
    }
    root.release();

    std::unique_ptr<TQMainLayout> layout(new TQMainLayout);
    layout->_window.reset(window);
    layout->_windowController = std::make_unique<TQWindowController>(installation);
    layout->_delegate = delegate ? std::move(delegate) : std::make_unique<AppDelegate>();

    QStringList missing;
    layout->_windowController->connectOutlets(window, missing);
    layout->_delegate->connectOutlets(window, layout->_windowController.get(), missing);
    if (!missing.isEmpty()) {
        if (error)
            *error = QStringLiteral("The layout MainMenu lacks %1")
                         .arg(missing.join(QStringLiteral(", ")));
        return nullptr;
    }
    layout->_windowController->awakeFromNib();
    return layout;
}
