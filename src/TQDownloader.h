#pragma once

#include "Platform/OperationQueue.h"
#include "Platform/ScratchFolder.h"
#include "Platform/URLSession.h"
#include "TransferRate.h"

#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

// Fetches the product package into the download folder, with progress and resumed retries.
// Each transfer runs synchronously on the downloader's own serial queue, and every callback
// runs there, never on the main thread. Each call of download() gets exactly one completion.
class TQDownloader {
public:
    // Percentage done (0 to 100) and the total it is measured against (always 100.0).
    using ProgressHandle = std::function<void(double value, double total)>;
    // The saved package's file URL, or a null URL when the download failed.
    using CompletionHandler = std::function<void(const QUrl& location)>;
    // The bytes the response's body will add to the file (-1 when unknown), before any is
    // written; false refuses the body, and the download completes with a null URL.
    using ResponseHandle = std::function<bool(qint64 bodyBytes)>;
    // Bytes in the file and the whole length (-1 when the server gave none), the speed over
    // the last seconds and the time left once meaningful (both negative until known);
    // `retrying` from a failed attempt whose continuation waits until the next one delivers.
    struct TransferStatus {
        qint64 bytesWritten = 0;
        qint64 bytesExpected = -1;
        double bytesPerSecond = -1;
        double secondsLeft = -1;
        bool retrying = false;
    };
    // At least every second or so while a transfer lasts, and at each retry.
    using StatusHandle = std::function<void(const TransferStatus& status)>;

    static TQDownloader& shared();
    // The server's name for the file, reduced to one harmless component of the download folder.
    [[nodiscard]] static QString fileNameFor(const QString& suggested);

    // The download folder is the installer's bundle identifier in the temporary directory.
    TQDownloader();
    // A downloader that saves into the given folder, through `session` (null: the shared one).
    // The folder is used only when it is a directory of this user that nobody else may write
    // to (created with mode 0700 when missing); otherwise a fresh private folder beside it is
    // used. Partial files that earlier, killed runs left there are removed.
    explicit TQDownloader(const QString& downloadFolder,
                          std::shared_ptr<Platform::URLSession> session = nullptr);
    // Cancels what runs or waits and returns once the queue is idle.
    ~TQDownloader();
    TQDownloader(const TQDownloader&) = delete;
    TQDownloader& operator=(const TQDownloader&) = delete;

    // Continues the transfer kept from an earlier failure, whatever `url` says; otherwise
    // downloads `url`. Calls run one after another, in order. `statusHandle` (may be empty)
    // runs on the downloader's queue like the other two.
    void download(const QUrl& url, ProgressHandle progressHandle,
                  CompletionHandler completionHandler, StatusHandle statusHandle = {},
                  ResponseHandle responseHandle = {});
    // Continues the kept transfer with the last callbacks; nothing while a transfer runs or
    // when nothing is kept.
    void resume();
    [[nodiscard]] QUrl cacheURL() const;
    // A small file fetched into memory through the downloader's session, on the calling
    // thread: see URLSession::getData.
    [[nodiscard]] std::optional<QByteArray> fetchData(const QUrl& url, qint64 maxBytes,
                                                      QString* error, std::stop_token stop) const;
    // Why the last transfer failed (none after a success). Read it in the completion handler,
    // on the downloader's queue.
    [[nodiscard]] std::optional<Platform::URLSessionError> lastFailure() const;

    // Ends every transfer started or asked for before this call, within about a second: each
    // completes with a null URL, and neither a partial file nor a record to continue is kept.
    // Safe from any thread.
    void cancel();
    // Runs a block on the downloader's queue after what was added before. Safe from any thread.
    void addOperation(std::function<void()> block);
    // Waits until the queue has run everything added so far; false when `timeout` passed
    // first. Not from the queue itself.
    [[nodiscard]] bool waitUntilIdle(std::chrono::milliseconds timeout);

    // The pause before a continuation after failures without progress is this times the
    // number of such failures (0.5 s unless a test sets it).
    void setRetryPause(std::chrono::milliseconds pause);

private:
    // All below run on m_operationQueue.
    void start(const QUrl& url, ProgressHandle progressHandle, CompletionHandler completionHandler,
               StatusHandle statusHandle, ResponseHandle responseHandle, quint64 generation);
    void run(std::chrono::milliseconds pause);
    [[nodiscard]] std::stop_token beginTransfer(quint64 generation);
    void didWriteData(qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite);
    void didFinishDownloading(const Platform::URLSessionDownloadResult& result);
    // False when the transfer is over; otherwise the pause before the next attempt.
    [[nodiscard]] std::optional<std::chrono::milliseconds>
    didFail(const Platform::URLSessionDownloadResult& result);
    void discardResumeData();
    void finish(const QUrl& location);
    void reportStatus(bool retrying);

    const QUrl m_cacheURL;
    const std::unique_ptr<Platform::ScratchFolder> m_partialFolder;
    const std::shared_ptr<Platform::URLSession> m_session;
    ProgressHandle m_progressHandle;
    CompletionHandler m_completionHandler;
    ResponseHandle m_responseHandle;
    StatusHandle m_statusHandle;
    TransferStatus m_status;
    TransferRate m_rate;
    std::optional<Platform::URLSessionError> m_lastFailure;
    std::optional<Platform::URLSessionResumeData> m_resumeData;
    qint64 m_errorTryCount = 0;
    // The most bytes the file has held in this transfer: only passing it counts as progress,
    // so a server that breaks off at the same point every time cannot retry forever.
    qint64 m_highWaterMark = 0;
    bool m_madeProgress = false;
    double m_lastProgress = 0;
    QUrl m_url;
    std::atomic<std::chrono::milliseconds::rep> m_retryPause{500};

    std::mutex m_stopMutex; // guards the two below; cancel() comes from other threads
    quint64 m_cancelGeneration = 0;
    std::stop_source m_stop;

    // Last, so it is destroyed first: its remaining blocks still use the fields above.
    Platform::OperationQueue m_operationQueue;
};
