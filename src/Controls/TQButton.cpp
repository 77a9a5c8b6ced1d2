#include "Controls/TQButton.h"

#include <QPainter>

namespace {

constexpr double ringInset = 3.5; // pixels inside the edge
constexpr double ringRadius = 2.0;

} // namespace

TQButton::TQButton(QWidget* parent) : QPushButton(parent) {}

void TQButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1.0, Qt::DotLine));
    painter.drawRoundedRect(QRectF(rect()).adjusted(ringInset, ringInset, -ringInset, -ringInset),
                            ringRadius, ringRadius);
}
