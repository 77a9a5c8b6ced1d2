#pragma once

#include <QUrl>
#include <functional>

// ZIP extraction, entry by entry, with size and CRC checks and permission restoration.
class TQZip {
public:
    // Percentage done (0 to 100) and the scale (always 100.0).
    using ProgressHandle = std::function<void(double value, double total)>;
    // The file URL of each item just extracted.
    using FileOutputHandle = std::function<void(const QUrl& fileURL)>;

    [[nodiscard]] static bool unzipFile(const QUrl& file, const QUrl& destination, bool overwrite,
                                        const ProgressHandle& progress,
                                        const FileOutputHandle& fileOutputHandle);
    [[nodiscard]] static bool changeFilePermissions(const QUrl& fileURL, qint64 permissions);
};
