#pragma once

#include <QWidget>
#include <functional>

// The borderless window a sheet is shown in: a transient window of its parent, modal to it,
// attached to the top centre of the parent and following it when it moves or resizes (where
// the display server lets a program place windows; Wayland places it itself), and able to
// take keyboard focus. Linux desktops have no sheets of their own; this is how the desktops
// that do show them.
class TQMaskWindow : public QWidget {
    Q_OBJECT

public:
    // A window of `size` attached to `parent` (which must be a window).
    TQMaskWindow(const QSize& size, QWidget* parent);

    [[nodiscard]] bool canBecomeKeyWindow() const { return true; }
    [[nodiscard]] bool canBecomeMainWindow() const { return true; }
    [[nodiscard]] bool acceptsFirstResponder() const { return true; }

    [[nodiscard]] bool hasShadow() const { return _hasShadow; }
    void setHasShadow(bool hasShadow);

    // Called once with the return code when the sheet ends; may be empty.
    std::function<void(int returnCode)> completionHandler;

    // Places the window at the top centre of its parent's content; nothing under Wayland.
    void attach();

    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool _hasShadow = false;
};
