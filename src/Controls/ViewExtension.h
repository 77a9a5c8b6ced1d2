#pragma once

#include <QWidget>
#include <functional>

// Sheets on any view. Main thread only.

// Shows `view` in a TQMaskWindow of the view's size attached to `parent` (a window), and
// fades a translucent black overlay in over the parent's content (0.3 s). The handler (may
// be empty) gets the return code when the sheet ends. The sheet window takes ownership of
// the view.
void beginSheet(QWidget* view, QWidget* parent, std::function<void(int returnCode)> handler);

// Ends the sheet that beginSheet began with `view` on `parent`: the overlay fades out (0.3 s)
// and is then removed; without waiting for it the sheet window goes away (taking the view
// with it once control returns to the event loop) and the handler is called with
// `returnCode`.
void endSheet(QWidget* view, QWidget* parent, int returnCode);

// The widget a window's content is laid in: the central widget of a main window, or the
// window itself.
[[nodiscard]] QWidget* contentView(QWidget* window);
