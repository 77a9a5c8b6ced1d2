#include "Extensions/ColorExtension.h"

QColor colorWithRGB(qint64 rgb) {
    return colorWithRGB(rgb, 1.0);
}

QColor colorWithRGB(qint64 rgb, double alpha) {
    return QColor::fromRgbF(float(((rgb >> 16) & 0xFF) / 255.0), float(((rgb >> 8) & 0xFF) / 255.0),
                            float((rgb & 0xFF) / 255.0), float(alpha));
}
