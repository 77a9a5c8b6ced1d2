#include "TQDownloader.h"

// Placeholder until the downloader is built: every download fails at once.
TQDownloader& TQDownloader::shared() {
    static TQDownloader downloader;
    return downloader;
}

void TQDownloader::download(const QUrl&, ProgressHandle, CompletionHandler completionHandler) {
    if (completionHandler)
        completionHandler(QUrl());
}

void TQDownloader::resume() {}

QUrl TQDownloader::cacheURL() const {
    return QUrl();
}
