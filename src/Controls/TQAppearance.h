#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

// The installer's own light look, the same on every desktop whatever its theme says: the
// accent colour, one light palette for every window (menus, sheets, the folder chooser and
// the About box included) and type that grows with a larger desktop font. Main thread only.
class TQAppearance {
public:
    // The accent (the AccentColor setting): the Install button, a dialog's first button, the
    // progress bar, selections and links.
    [[nodiscard]] static QColor accentColor();
    // The accent darkened enough to be read as text on a pale background.
    [[nodiscard]] static QColor accentTextColor();
    [[nodiscard]] static QPalette palette();
    // Fusion and the light palette for the whole application.
    static void apply();

    // How much larger than usual the desktop's font is; at least 1.
    [[nodiscard]] static double fontScale();
    // The system font at `points` of the design, grown by fontScale().
    [[nodiscard]] static QFont font(double points, bool bold = false);
    // Grows by fontScale() the fonts a layout gave its widgets.
    static void scaleFonts(QWidget* root);
};
