#pragma once

#include "Platform/FileDescriptor.h"
#include "Platform/URLSession.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <curl/curl.h>
#include <optional>
#include <stop_token>

namespace Platform {

// One download, run on the calling thread from its start to its result: continues the partial
// file of the resume record when it is usable, else starts from the address; at most one more
// request starts the file over when the server cannot continue it.
class URLSessionDownloadTask {
public:
    URLSessionDownloadTask(URLSession::Configuration configuration,
                           URLSessionDownloadOptions options, std::stop_token stop,
                           std::atomic<qint64>& bytesReceived);

    [[nodiscard]] URLSessionDownloadResult
    run(const QUrl& url, const std::optional<URLSessionResumeData>& resumeData);

private:
    enum class Outcome { Done, Failed, StartOver };

    static size_t onHeader(char* data, size_t size, size_t count, void* task);
    static size_t onBody(char* data, size_t size, size_t count, void* task);
    static int onTransferInfo(void* task, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    bool adopt(const URLSessionResumeData& resumeData);
    bool createFile();
    bool truncateFile();
    [[nodiscard]] URLSessionError fileError(const QString& what) const;
    Outcome attempt(qint64 offset);
    void rememberFinalURL();
    void header(QByteArray line);
    [[nodiscard]] QByteArray validator() const;
    bool decide();
    bool continueRange();
    bool accept();
    size_t body(const char* data, size_t size);
    void reportProgress();
    // libcurl's periodic call: polls the stop request and reports a transfer that went quiet.
    int transferInfo();
    URLSessionDownloadResult complete();

    const URLSession::Configuration m_configuration;
    const URLSessionDownloadOptions m_options;
    const std::stop_token m_stop;
    std::atomic<qint64>& m_bytesReceived;
    std::chrono::steady_clock::time_point m_lastProgress;
    bool m_unreported = false; // bytes arrived since the last report

    QUrl m_url;
    QString m_filePath;
    FileDescriptor m_file;
    qint64 m_length = 0;
    qint64 m_expectedTotal = -1;
    QByteArray m_validator;
    std::optional<URLSessionError> m_failure;

    // The current request and its final response.
    CURL* m_handle = nullptr;
    qint64 m_offset = 0;
    bool m_decided = false;
    Outcome m_outcome = Outcome::Done;
    long m_status = 0;
    qint64 m_responseLength = -1;
    qint64 m_responseBytes = 0;
    QByteArray m_etag;
    QByteArray m_lastModified;
    QByteArray m_contentRange;
    QByteArray m_contentDisposition;
    bool m_acceptsRanges = false;
};

} // namespace Platform
