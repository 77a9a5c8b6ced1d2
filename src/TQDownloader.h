#pragma once

#include "Platform/OperationQueue.h"
#include "Platform/URLSession.h"

#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Fetches the product package into the download folder, with progress and resumed retries.
// Every callback runs on the downloader's own serial queue, never on the main thread.
// One transfer at a time: each call of download() gets exactly one completion.
class TQDownloader {
public:
    // Percentage done (0 to 100) and the total it is measured against (always 100.0).
    using ProgressHandle = std::function<void(double value, double total)>;
    // The saved package's file URL, or a null URL when the download failed.
    using CompletionHandler = std::function<void(const QUrl& location)>;

    static TQDownloader& shared();

    // The download folder is the installer's bundle identifier in the temporary directory.
    TQDownloader();
    // A downloader that saves into the given folder. The folder is used only when it is a
    // directory of this user that nobody else may write to (created with mode 0700 when
    // missing); otherwise a fresh private folder beside it is used.
    explicit TQDownloader(const QString& downloadFolder);
    // Breaks off a running transfer and waits for it; no callback runs once this began.
    ~TQDownloader();
    TQDownloader(const TQDownloader&) = delete;
    TQDownloader& operator=(const TQDownloader&) = delete;

    // Continues the transfer kept from an earlier failure, whatever `url` says; otherwise
    // downloads `url`. Refused (completion with a null URL at once) while a transfer runs.
    void download(const QUrl& url, ProgressHandle progressHandle,
                  CompletionHandler completionHandler);
    // Continues the kept transfer with the last callbacks; nothing while a transfer runs or
    // when nothing is kept.
    void resume();
    [[nodiscard]] QUrl cacheURL() const;

    // The pause before a continuation after failures without received bytes is this times
    // the number of such failures (0.5 s unless a test sets it).
    void setRetryPause(std::chrono::milliseconds pause);
    // Transfers go through this session; nullptr means the shared one.
    void setURLSession(std::shared_ptr<Platform::URLSession> session);

private:
    // All below run on m_operationQueue.
    void start(const QUrl& url, ProgressHandle progressHandle, CompletionHandler completionHandler);
    void continueTransfer(std::chrono::milliseconds pause);
    void startTask(std::chrono::milliseconds pause);
    void didWriteData(qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite);
    void didFinishDownloading(const Platform::URLResponse& response, const QString& location);
    void didComplete(const std::optional<Platform::URLSessionError>& error,
                     const std::optional<Platform::URLSessionResumeData>& resumeData);
    void finish(const QUrl& location);

    ProgressHandle m_progressHandle;
    CompletionHandler m_completionHandler;
    std::optional<Platform::URLSessionResumeData> m_resumeData;
    const QUrl m_cacheURL;
    qint64 m_errorTryCount = 0;
    QUrl m_url;
    bool m_running = false;
    bool m_receivedBytes = false;
    double m_lastProgress = 0;
    std::atomic<std::chrono::milliseconds::rep> m_retryPause{500};

    std::mutex m_taskMutex; // guards the three below; the destructor reads them
    bool m_stopping = false;
    std::shared_ptr<Platform::URLSession> m_session;
    // The last task started; kept after it ended so the destructor can wait until its
    // thread let go of the queue.
    std::shared_ptr<Platform::URLSessionTask> m_task;

    // Last, so it is destroyed first: its remaining blocks still use the fields above.
    Platform::OperationQueue m_operationQueue;
};
