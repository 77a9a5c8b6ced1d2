#pragma once

#include "Platform/URLResponse.h"
#include "Platform/URLSessionTask.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace Platform {

class OperationQueue;

// The record of a broken download, from which a later task continues it. The partial file
// belongs to whoever holds the record: a task that cannot continue from it removes it.
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
    };
    Kind kind = Kind::Transfer;
    QString description;
    long statusCode = 0;
    QUrl url; // the address that failed (after redirects, when known)
};

// What a download task tells its delegate. Every call runs on the delegate queue given to the
// task, in the order below; a missing callback is skipped.
struct URLSessionDownloadDelegate {
    // Bytes that arrived since the last call, bytes in the file, and the file's whole length
    // (-1 when the server gave none). At most every 20 ms and once at the end; fewer while
    // the queue is busy.
    std::function<void(qint64 bytesWritten, qint64 totalBytesWritten,
                       qint64 totalBytesExpectedToWrite)>
        didWriteData;
    // The complete body lies at `location`; the delegate moves it away, else it is removed
    // when the call returns.
    std::function<void(const URLResponse& response, const QString& location)>
        didFinishDownloadingToURL;
    // Always the last call: no error after a finished download; otherwise the error and the
    // record to continue from (none when nothing usable was kept).
    std::function<void(const std::optional<URLSessionError>& error,
                       const std::optional<URLSessionResumeData>& resumeData)>
        didCompleteWithError;
};

struct URLSessionDownloadOptions {
    // Where the body is written while it arrives (a private file made there); empty means
    // the temporary directory.
    QString temporaryDirectory;
    // How long the task waits before it connects.
    std::chrono::milliseconds startDelay{0};
};

// Transfers over HTTPS with libcurl: one easy handle per transfer, each on a thread of the
// session. Redirects are followed, certificates always verified (against CURL_CA_BUNDLE when
// set, else the system's trust store), proxies taken from the environment.
class URLSession {
public:
    struct Configuration {
        std::chrono::milliseconds connectTimeout{60000};
        // A transfer that receives nothing for this long fails.
        std::chrono::seconds idleTimeout{60};
        // Trusted certificates (PEM); empty means CURL_CA_BUNDLE, else the system's.
        QString caFile;
    };

    URLSession();
    explicit URLSession(Configuration configuration);
    // Cancels what still runs and waits for it.
    virtual ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // The process-wide session; tests replace it with ScopedReplacement. A replaced session
    // is destroyed when its last user lets go of it.
    static URLSession& shared();
    [[nodiscard]] static std::shared_ptr<URLSession> sharedPointer();

    // Applies to the transfers started afterwards.
    void setConfiguration(Configuration configuration);
    [[nodiscard]] Configuration configuration() const;

    // A plain GET whose body is ignored. The completion runs on the session's thread with a
    // description of the failure, or a null string when a response arrived (any status).
    virtual void dataTask(const QUrl& url, std::function<void(const QString& error)> completion);

    // Downloads the body of `url` into a private file; see URLSessionDownloadDelegate.
    virtual std::shared_ptr<URLSessionTask> downloadTask(const QUrl& url,
                                                         const URLSessionDownloadOptions& options,
                                                         URLSessionDownloadDelegate delegate,
                                                         OperationQueue& delegateQueue);
    // Continues a broken download: asks for the missing bytes when the file is unchanged on
    // the server, else starts the file over. Never mixes two versions of a file.
    virtual std::shared_ptr<URLSessionTask>
    downloadTaskWithResumeData(const URLSessionResumeData& resumeData,
                               const URLSessionDownloadOptions& options,
                               URLSessionDownloadDelegate delegate, OperationQueue& delegateQueue);

    // Body bytes received by all transfers of this session so far.
    [[nodiscard]] qint64 bytesReceived() const { return m_bytesReceived; }

private:
    std::shared_ptr<URLSessionTask> startThread(std::shared_ptr<URLSessionTaskState> state,
                                                std::function<void()> body);
    void reapFinishedThreads();

    mutable std::mutex m_mutex;
    Configuration m_configuration;
    struct Worker {
        std::shared_ptr<URLSessionTaskState> state;
        std::thread thread;
    };
    std::vector<Worker> m_workers;
    std::atomic<qint64> m_bytesReceived{0};
};

} // namespace Platform
