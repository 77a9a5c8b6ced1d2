#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace Platform {

// What a server answered to a download, as far as the installer looks at it.
struct URLResponse {
    QUrl url; // the final address after redirects
    long statusCode = 0;
    // The whole file's length as the server announced it; -1 when it gave none.
    qint64 expectedContentLength = -1;
    // The name from Content-Disposition (filename* preferred to filename), else the last
    // component of the final address, percent-decoded; null when neither gives one.
    // Untrusted: it may hold directory parts or control characters.
    QString suggestedFilename;
    // Whether the final response offered byte ranges (Accept-Ranges: bytes), and the validator
    // a resumed download would send: its strong ETag, else its Last-Modified; empty with neither.
    bool acceptsRanges = false;
    QByteArray validator;

    [[nodiscard]] static QString suggestedFilenameFor(const QByteArray& contentDisposition,
                                                      const QUrl& url);
};

} // namespace Platform
