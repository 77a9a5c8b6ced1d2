#include "Controls/TQAppearance.h"

#include "Branding.h"
#include "Extensions/ColorExtension.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>
#include <algorithm>

namespace {

// A desktop font of this size or smaller keeps the design's sizes.
constexpr double usualFontPoints = 11.0;

} // namespace

QColor TQAppearance::accentColor() {
    return Branding::accentColor();
}

QColor TQAppearance::accentTextColor() {
    return accentColor().darker(130);
}

QPalette TQAppearance::palette() {
    const QColor ink = colorWithRGB(0x222222);
    const QColor paper = colorWithRGB(0xFFFFFF);
    const QColor faded = colorWithRGB(0x9A9A9A);
    QPalette light(ink, colorWithRGB(0xF4F4F4), paper, colorWithRGB(0xA0A0A0),
                   colorWithRGB(0xC8C8C8), ink, paper);
    light.setColor(QPalette::Window, paper);
    light.setColor(QPalette::AlternateBase, colorWithRGB(0xF6F7FB));
    light.setColor(QPalette::ButtonText, ink);
    light.setColor(QPalette::Highlight, accentColor());
    light.setColor(QPalette::HighlightedText, paper);
    light.setColor(QPalette::Link, accentTextColor());
    light.setColor(QPalette::LinkVisited, accentTextColor());
    light.setColor(QPalette::ToolTipBase, paper);
    light.setColor(QPalette::ToolTipText, ink);
    light.setColor(QPalette::PlaceholderText, faded);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        light.setColor(QPalette::Disabled, role, faded);
    return light;
}

void TQAppearance::apply() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette());
}

double TQAppearance::fontScale() {
    return std::max(1.0, QApplication::font().pointSizeF() / usualFontPoints);
}

QFont TQAppearance::font(double points, bool bold) {
    QFont font = QApplication::font();
    font.setPointSizeF(points * fontScale());
    font.setBold(bold);
    return font;
}

void TQAppearance::scaleFonts(QWidget* root) {
    const double scale = fontScale();
    if (!root || scale == 1.0)
        return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_SetFont) || widget->font().pointSizeF() <= 0)
            continue;
        QFont font = widget->font();
        font.setPointSizeF(font.pointSizeF() * scale);
        widget->setFont(font);
    }
}
