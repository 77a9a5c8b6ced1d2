#pragma once

#include <QString>

// ISO 9660 images with Rock Ridge (modes, links, long names kept), made with genisoimage.
class IsoImage {
public:
    [[nodiscard]] static bool write(const QString& folder, const QString& volumeName,
                                    const QString& outputPath, QString* error);
};
