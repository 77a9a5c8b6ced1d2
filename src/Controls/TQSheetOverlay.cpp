#include "Controls/TQSheetOverlay.h"

#include "Extensions/ColorExtension.h"

#include <QEvent>
#include <QPainter>
#include <QPropertyAnimation>

TQSheetOverlay::TQSheetOverlay(QWidget* content) : QWidget(content) {
    setObjectName(QStringLiteral("TQSheetOverlay"));
    setGeometry(content->rect());
    content->installEventFilter(this);
}

QColor TQSheetOverlay::color() {
    return colorWithRGB(0x000000, 0.25);
}

void TQSheetOverlay::setAlphaValue(double alpha) {
    _alphaValue = alpha;
    update();
}

void TQSheetOverlay::animateAlphaValue(double alpha, double seconds,
                                       std::function<void()> completion) {
    auto* animation = new QPropertyAnimation(this, "alphaValue", this);
    animation->setDuration(int(seconds * 1000));
    animation->setStartValue(_alphaValue);
    animation->setEndValue(alpha);
    if (completion)
        connect(animation, &QPropertyAnimation::finished, this, std::move(completion));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool TQSheetOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return false;
}

// Painted rather than given an opacity effect: the layer is one flat colour, so its opacity
// is just that colour's alpha.
void TQSheetOverlay::paintEvent(QPaintEvent*) {
    QColor layer = color();
    layer.setAlphaF(float(layer.alphaF() * _alphaValue));
    QPainter(this).fillRect(rect(), layer);
}
