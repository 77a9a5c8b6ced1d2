#pragma once

#include <QLabel>
#include <QString>

// An image of the installer window. Dragging it moves the window: it leaves mouse presses to
// the window background (see TQWindowMover). The image is named by the layout and read from
// the bundle's Resources folder; on a high-density screen "<name>@2x.<ext>" is used when
// the bundle has it.
class TQImageView : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName WRITE setImageName)

public:
    explicit TQImageView(QWidget* parent = nullptr);

    [[nodiscard]] bool mouseDownCanMoveWindow() const { return true; }

    [[nodiscard]] QString imageName() const { return _imageName; }
    void setImageName(const QString& name);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString _imageName;
};
