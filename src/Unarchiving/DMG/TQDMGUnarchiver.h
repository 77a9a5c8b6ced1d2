#pragma once

#include <QUrl>
#include <functional>

// Disk-image extraction through the disk-image tool: attach, copy the volume's items, detach.
class TQDMGUnarchiver {
public:
    using ProgressHandle = std::function<void(double value, double total)>;
    using FileOutputHandle = std::function<void(const QUrl& fileURL)>;

    // True when the image was mounted, whether or not every item was then copied.
    [[nodiscard]] static bool unarchiveFile(const QUrl& file, const QUrl& destination,
                                            const ProgressHandle& progress,
                                            const FileOutputHandle& fileOutputHandle);
};
