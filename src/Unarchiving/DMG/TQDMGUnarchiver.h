#pragma once

#include <QUrl>
#include <functional>
#include <stop_token>

// Disk-image extraction through the disk-image tool: attach, copy the volume's items, detach.
class TQDMGUnarchiver {
public:
    using ProgressHandle = std::function<void(double value, double total)>;
    using FileOutputHandle = std::function<void(const QUrl& fileURL)>;

    // True when the image was mounted, whether or not every item was then copied. A stop
    // request ends the attach at once or the copy between two items; the volume is detached
    // either way.
    [[nodiscard]] static bool unarchiveFile(const QUrl& file, const QUrl& destination,
                                            const ProgressHandle& progress,
                                            const FileOutputHandle& fileOutputHandle,
                                            std::stop_token stop = {});
};
