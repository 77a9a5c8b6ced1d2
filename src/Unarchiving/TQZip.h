#pragma once

#include <QUrl>
#include <functional>
#include <stop_token>

// ZIP extraction, entry by entry on several threads, with size and CRC checks and permission
// restoration; the tree is the one that writing the entries in archive order gives.
// Archive contents are untrusted: an entry named or linked outside the destination, or written
// through a link, fails the extraction; declared sizes are budgets. Synchronous: both callbacks
// run on the caller's thread, in archive order. Entries written before a failure stay (and a
// few after it may). A stop request ends the extraction between two entries, as a failure.
class TQZip {
public:
    // Percentage done (0 to 100) and the scale (always 100.0).
    using ProgressHandle = std::function<void(double value, double total)>;
    // The file URL of each item just extracted.
    using FileOutputHandle = std::function<void(const QUrl& fileURL)>;

    [[nodiscard]] static bool unzipFile(const QUrl& file, const QUrl& destination, bool overwrite,
                                        const ProgressHandle& progress,
                                        const FileOutputHandle& fileOutputHandle,
                                        std::stop_token stop = {},
                                        unsigned threads = defaultThreads());
    // One worker thread per core, within reason; at 1 the caller's thread writes every entry.
    [[nodiscard]] static unsigned defaultThreads();
    // True when the item ends up with the mode (0755 as 493), set directly or by /bin/chmod.
    [[nodiscard]] static bool changeFilePermissions(const QUrl& fileURL, qint64 permissions);
};
