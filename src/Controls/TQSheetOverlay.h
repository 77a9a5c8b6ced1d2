#pragma once

#include <QWidget>
#include <functional>

class QGraphicsOpacityEffect;

// The translucent black layer (alpha 0.25) laid over a window's content while a sheet is
// shown. It covers its parent and resizes with it; its opacity fades in and out.
class TQSheetOverlay : public QWidget {
    Q_OBJECT

public:
    explicit TQSheetOverlay(QWidget* content);

    [[nodiscard]] double alphaValue() const;
    void setAlphaValue(double alpha);
    // Animates the opacity to `alpha` over `seconds`; `completion` (may be empty) runs after.
    void animateAlphaValue(double alpha, double seconds, std::function<void()> completion);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGraphicsOpacityEffect* _opacity;
};
