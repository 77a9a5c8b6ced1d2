#pragma once

#include <QPushButton>

// A push button of the installer's layouts. Its look comes from a style sheet, which leaves
// no focus frame; this one draws a thin ring inside its edge, in its text colour, while it
// has the keyboard focus.
class TQButton : public QPushButton {
    Q_OBJECT

public:
    explicit TQButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
