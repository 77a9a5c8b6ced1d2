#pragma once

#include <QColor>

// A colour from a 24-bit 0xRRGGBB value; bits above the lowest 24 are ignored.
[[nodiscard]] QColor colorWithRGB(qint64 rgb);
[[nodiscard]] QColor colorWithRGB(qint64 rgb, double alpha);
