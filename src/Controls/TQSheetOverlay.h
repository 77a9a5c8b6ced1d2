#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

// The translucent black layer (alpha 0.25) laid over a window's content while a sheet is
// shown. It covers its parent and resizes with it; its opacity fades in and out.
class TQSheetOverlay : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double alphaValue READ alphaValue WRITE setAlphaValue)

public:
    explicit TQSheetOverlay(QWidget* content);

    // The layer's colour at full opacity.
    [[nodiscard]] static QColor color();

    [[nodiscard]] double alphaValue() const { return _alphaValue; }
    void setAlphaValue(double alpha);
    // Animates the opacity to `alpha` over `seconds`; `completion` (may be empty) runs after.
    void animateAlphaValue(double alpha, double seconds, std::function<void()> completion);

    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double _alphaValue = 1.0;
};
