#include "Controls/TQMaskWindow.h"

#include "Extensions/ColorExtension.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>

TQMaskWindow::TQMaskWindow(const QSize& size, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("TQMaskWindow"));
    setWindowModality(Qt::WindowModal);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(size);
    parent->installEventFilter(this);
    attach();
}

void TQMaskWindow::setHasShadow(bool hasShadow) {
    _hasShadow = hasShadow;
    update();
}

void TQMaskWindow::attach() {
    // Wayland places a transient window itself and ignores coordinates.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    const QWidget* parent = parentWidget();
    const QRect content = parent->geometry();
    move(content.x() + (content.width() - width()) / 2, content.y());
}

bool TQMaskWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        attach();
    return false;
}

void TQMaskWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!_hasShadow)
        return;
    // Without a compositing desktop a drop shadow cannot fall outside the window, so its
    // inner edge is drawn instead: enough to lift the sheet off the dimmed window.
    QPainter painter(this);
    painter.setPen(colorWithRGB(0x000000, 0.18));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
