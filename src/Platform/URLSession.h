#pragma once

#include "Platform/URLResponse.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace Platform {

// The record of a broken download, from which a later download continues it. The partial file
// belongs to whoever holds the record: a download that cannot continue from it removes it.
struct URLSessionResumeData {
    QUrl url;             // the final address after redirects
    QString filePath;     // the partial file
    qint64 length = 0;    // bytes in it
    QByteArray validator; // the server's strong ETag, else its Last-Modified
};

struct URLSessionError {
    enum class Kind {
        Transfer,   // the network or the server broke off; worth another try
        HTTPStatus, // the final response had status 400 or above
        File,       // the local file could not be written
        BadAddress, // not https, redirected to another scheme, or redirected in a loop
        Cancelled,  // the caller asked the transfer to stop
    };
    Kind kind = Kind::Transfer;
    QString description;
    long statusCode = 0;
    QUrl url; // the address that failed (after redirects, when known)
};

// How one download ended. On success `location` holds the complete body, which the caller moves
// away or removes. After a Transfer error `resumeData` (when set) owns the partial file;
// otherwise no partial file is left.
struct URLSessionDownloadResult {
    std::optional<URLSessionError> error;
    URLResponse response;
    QString location;
    std::optional<URLSessionResumeData> resumeData;
};

struct URLSessionDownloadOptions {
    // Once the final response's headers are in, before any of its body is written: the bytes
    // that body adds to the file (-1 when the server gave no length). False refuses the body,
    // and the download ends as Cancelled.
    std::function<bool(qint64 bodyBytes)> didReceiveResponse;
    // Where the body is written while it arrives (a private file made there); empty means
    // the temporary directory.
    QString temporaryDirectory;
    // Bytes in the file and the file's whole length (-1 when the server gave none), on the
    // calling thread, at most every 20 ms, at least every second once the body has begun
    // (also while nothing arrives), and once at the end.
    std::function<void(qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite)> didWriteData;
};

// Transfers over HTTPS with libcurl. Every transfer runs on the calling thread until it ends;
// a stop request ends it within about a second. Redirects are followed, certificates always
// verified (against CURL_CA_BUNDLE when set, else the system's trust store), proxies taken
// from the environment. Safe to use from several threads at once.
class URLSession {
public:
    struct Configuration {
        std::chrono::milliseconds connectTimeout{60000};
        // A transfer that averages under 1 KB/s for this long counts as stalled and fails.
        std::chrono::seconds idleTimeout{60};
        // Trusted certificates (PEM); empty means CURL_CA_BUNDLE, else the system's.
        QString caFile;
    };

    URLSession();
    explicit URLSession(Configuration configuration);
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // The process-wide session; tests replace it with ScopedReplacement. A replaced session
    // is destroyed when its last user lets go of it.
    static URLSession& shared();
    [[nodiscard]] static std::shared_ptr<URLSession> sharedPointer();

    // Applies to the transfers started afterwards.
    void setConfiguration(Configuration configuration);
    [[nodiscard]] Configuration configuration() const;

    // A plain GET whose body is ignored: a null string when a response arrived (any status),
    // else a description of the failure.
    [[nodiscard]] QString get(const QUrl& url, std::stop_token stop = {});
    // A GET of a small file into memory: its body when the final response had a status below
    // 400 and a body of at most `maxBytes` bytes; nothing otherwise, with *error (when given)
    // saying why.
    [[nodiscard]] std::optional<QByteArray> getData(const QUrl& url, qint64 maxBytes,
                                                    QString* error, std::stop_token stop = {});
    // A POST of `body` with the request header lines `headers` ("Name: value"), reply body
    // ignored: a null string when the server answered with a status below 400, else a
    // description of the failure. A header line holding a line break is refused unsent.
    [[nodiscard]] QString post(const QUrl& url, const QByteArray& body,
                               const QList<QByteArray>& headers, std::stop_token stop = {});

    // Downloads the body of `url` into a private file, or continues `resumeData`'s partial file
    // when the file is unchanged on the server (else starts it over). Never mixes two versions
    // of a file.
    [[nodiscard]] URLSessionDownloadResult
    download(const QUrl& url, const std::optional<URLSessionResumeData>& resumeData,
             const URLSessionDownloadOptions& options, std::stop_token stop = {});

    // Body bytes received by all downloads of this session so far.
    [[nodiscard]] qint64 bytesReceived() const { return m_bytesReceived; }

private:
    mutable std::mutex m_mutex;
    Configuration m_configuration;
    std::atomic<qint64> m_bytesReceived{0};
};

} // namespace Platform
