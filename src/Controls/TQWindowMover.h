#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Makes a window movable by dragging its background: installed on the window's background
// widget, it moves the window on a left-button drag that starts there or on a child that
// leaves the press to it. The desktop moves the window when it can; otherwise the window
// follows the pointer.
class TQWindowMover : public QObject {
    Q_OBJECT

public:
    explicit TQWindowMover(QWidget* background);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* _background;
    bool _dragging = false;
    QPoint _grabOffset; // pointer position minus window position, in global coordinates
};
