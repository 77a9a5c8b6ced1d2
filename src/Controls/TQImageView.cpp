#include "Controls/TQImageView.h"

#include "Platform/Bundle.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>

namespace {

QString highDensityVariant(const QString& path) {
    const QFileInfo info(path);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("@2x.") +
           info.suffix();
}

} // namespace

TQImageView::TQImageView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

void TQImageView::setImageName(const QString& name) {
    _imageName = name;
    const QString path = Platform::Bundle::main().resourcePath() + QLatin1Char('/') + name;
    const QString dense = highDensityVariant(path);
    QPixmap image;
    if (devicePixelRatioF() > 1.0 && image.load(dense))
        image.setDevicePixelRatio(2.0);
    else
        image.load(path);
    setPixmap(image);
}

void TQImageView::mousePressEvent(QMouseEvent* event) {
    event->ignore();
}
