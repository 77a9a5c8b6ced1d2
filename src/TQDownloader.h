#pragma once

#include <QUrl>
#include <functional>

// Fetches the product package into the download folder, with progress and resumed retries.
// Every callback runs on the downloader's own serial queue, never on the main thread.
class TQDownloader {
public:
    // Percentage done (0 to 100) and the total it is measured against (always 100.0).
    using ProgressHandle = std::function<void(double value, double total)>;
    // The saved package's file URL, or a null URL when the download failed.
    using CompletionHandler = std::function<void(const QUrl& location)>;

    static TQDownloader& shared();

    void download(const QUrl& url, ProgressHandle progressHandle,
                  CompletionHandler completionHandler);
    void resume();
    [[nodiscard]] QUrl cacheURL() const;
};
