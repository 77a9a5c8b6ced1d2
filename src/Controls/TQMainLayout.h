#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

class AppDelegate;
class Installation;
class TQWindowController;

// The installer's main layout ("MainMenu"): the window with its menu bar, its controller and
// the application delegate, connected and prepared, for the whole run. Main thread only.
class TQMainLayout {
public:
    ~TQMainLayout();
    TQMainLayout(const TQMainLayout&) = delete;
    TQMainLayout& operator=(const TQMainLayout&) = delete;

    // Loads the layout from the main bundle, connects the outlets and actions and prepares the
    // window (not yet shown) to show `installation`, which must outlive the layout. Null, with
    // *error naming what is wrong, when the layout or the dialog's layout
    // (TQDialogBox::checkLayout) cannot be loaded or lacks an outlet or an
    // action. `delegate` (may be null: a new one is made) becomes part of the layout.
    [[nodiscard]] static std::unique_ptr<TQMainLayout>
    load(QString* error, Installation& installation, std::unique_ptr<AppDelegate> delegate = {});

    [[nodiscard]] QMainWindow* window() const { return _window.get(); }
    [[nodiscard]] TQWindowController* windowController() const { return _windowController.get(); }
    [[nodiscard]] AppDelegate* delegate() const { return _delegate.get(); }

private:
    TQMainLayout() = default;

    // Destroyed in reverse order: the delegate and the controller before the window.
    std::unique_ptr<QMainWindow> _window;
    std::unique_ptr<TQWindowController> _windowController;
    std::unique_ptr<AppDelegate> _delegate;
};
