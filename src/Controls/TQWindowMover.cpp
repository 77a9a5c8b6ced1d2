#include "Controls/TQWindowMover.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TQWindowMover::TQWindowMover(QWidget* background) : QObject(background), _background(background) {
    background->installEventFilter(this);
}

bool TQWindowMover::eventFilter(QObject* watched, QEvent* event) {
    if (watched != _background)
        return false;
    QWidget* window = _background->window();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        QWindow* handle = window->windowHandle();
        if (handle && handle->startSystemMove())
            return true;
        _dragging = true;
        _grabOffset = mouse->globalPosition().toPoint() - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!_dragging || !(mouse->buttons() & Qt::LeftButton))
            return false;
        window->move(mouse->globalPosition().toPoint() - _grabOffset);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!_dragging)
            return false;
        _dragging = false;
        return true;
    default:
        return false;
    }
}
