#include "Controls/TQSheetOverlay.h"

#include "Extensions/ColorExtension.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPalette>
#include <QPropertyAnimation>

TQSheetOverlay::TQSheetOverlay(QWidget* content)
    : QWidget(content), _opacity(new QGraphicsOpacityEffect(this)) {
    setObjectName(QStringLiteral("TQSheetOverlay"));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colorWithRGB(0x000000, 0.25));
    setPalette(colours);
    setAutoFillBackground(true);
    setGraphicsEffect(_opacity);
    setGeometry(content->rect());
    content->installEventFilter(this);
}

double TQSheetOverlay::alphaValue() const {
    return _opacity->opacity();
}

void TQSheetOverlay::setAlphaValue(double alpha) {
    _opacity->setOpacity(alpha);
}

void TQSheetOverlay::animateAlphaValue(double alpha, double seconds,
                                       std::function<void()> completion) {
    auto* animation = new QPropertyAnimation(_opacity, "opacity", this);
    animation->setDuration(int(seconds * 1000));
    animation->setStartValue(_opacity->opacity());
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
