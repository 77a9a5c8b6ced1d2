#include "TQDownloader.h"

#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/PrivateFolder.h"
#include "Platform/SearchPaths.h"

#include <QDir>
#include <QFile>
#include <filesystem>

namespace {

constexpr qint64 kMostContinuations = 5;

QString defaultDownloadFolder() {
    // Touched first so the shared session outlives the shared downloader.
    (void)Platform::URLSession::sharedPointer();
    QString identifier = Platform::Bundle::main().bundleIdentifier();
    if (identifier.isEmpty())
        identifier = QStringLiteral("TQDownloader");
    return Platform::SearchPaths::shared().temporaryDirectory() + identifier;
}

// The server's name for the file, reduced to one harmless component of the download folder.
QString safeFileName(const QString& suggested) {
    QString name;
    for (const QChar c : suggested)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            name += c;
    name = name.section(QLatin1Char('/'), -1);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        name.clear();
    return name.isEmpty() ? QStringLiteral("download") : name;
}

} // namespace

TQDownloader& TQDownloader::shared() {
    static TQDownloader downloader;
    return downloader;
}

TQDownloader::TQDownloader() : TQDownloader(defaultDownloadFolder()) {}

TQDownloader::TQDownloader(const QString& downloadFolder)
    : m_cacheURL(QUrl::fromLocalFile(Platform::PrivateFolder::make(downloadFolder))) {}

TQDownloader::~TQDownloader() {
    std::shared_ptr<Platform::URLSessionTask> task;
    {
        std::lock_guard lock(m_taskMutex);
        m_stopping = true;
        task = m_task;
    }
    if (task) {
        task->cancel();
        task->waitUntilFinished();
    }
}

void TQDownloader::download(const QUrl& url, ProgressHandle progressHandle,
                            CompletionHandler completionHandler) {
    m_operationQueue.addOperation([this, url, progressHandle = std::move(progressHandle),
                                   completionHandler = std::move(completionHandler)]() mutable {
        start(url, std::move(progressHandle), std::move(completionHandler));
    });
}

void TQDownloader::resume() {
    m_operationQueue.addOperation([this] {
        if (m_running || !m_resumeData)
            return;
        m_running = true;
        continueTransfer(std::chrono::milliseconds(0));
    });
}

QUrl TQDownloader::cacheURL() const {
    return m_cacheURL;
}

void TQDownloader::setRetryPause(std::chrono::milliseconds pause) {
    m_retryPause = pause.count();
}

void TQDownloader::setURLSession(std::shared_ptr<Platform::URLSession> session) {
    std::lock_guard lock(m_taskMutex);
    m_session = std::move(session);
}

void TQDownloader::start(const QUrl& url, ProgressHandle progressHandle,
                         CompletionHandler completionHandler) {
    if (m_running) {
        Platform::Log::write(
            QStringLiteral("A download is already running; %1 is refused").arg(url.toString()));
        if (completionHandler)
            completionHandler(QUrl());
        return;
    }
    m_progressHandle = std::move(progressHandle);
    m_completionHandler = std::move(completionHandler);
    m_errorTryCount = 0;
    m_url = url;
    m_running = true;
    continueTransfer(std::chrono::milliseconds(0));
}

// From the kept resume data when there is some, else from the address.
void TQDownloader::continueTransfer(std::chrono::milliseconds pause) {
    m_receivedBytes = false;
    m_lastProgress = 0;
    startTask(pause);
}

void TQDownloader::startTask(std::chrono::milliseconds pause) {
    const Platform::URLSessionDownloadOptions options{m_cacheURL.toLocalFile(), pause};
    Platform::URLSessionDownloadDelegate delegate{
        [this](qint64, qint64 total, qint64 expected) { didWriteData(total, expected); },
        [this](const Platform::URLResponse& response, const QString& location) {
            didFinishDownloading(response, location);
        },
        [this](const std::optional<Platform::URLSessionError>& error,
               const std::optional<Platform::URLSessionResumeData>& resumeData) {
            didComplete(error, resumeData);
        }};
    std::lock_guard lock(m_taskMutex);
    if (m_stopping) {
        m_running = false;
        return;
    }
    const std::shared_ptr<Platform::URLSession> session =
        m_session ? m_session : Platform::URLSession::sharedPointer();
    m_task = m_resumeData
                 ? session->downloadTaskWithResumeData(*m_resumeData, options, std::move(delegate),
                                                       m_operationQueue)
                 : session->downloadTask(m_url, options, std::move(delegate), m_operationQueue);
}

void TQDownloader::didWriteData(qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite) {
    m_errorTryCount = 0;
    m_receivedBytes = true;
    // Without a length there is no honest percentage until the end.
    const double value = totalBytesExpectedToWrite > 0
                             ? double(totalBytesWritten) / double(totalBytesExpectedToWrite) * 100.0
                             : 0.0;
    m_lastProgress = std::clamp(value, 0.0, 100.0);
    if (m_progressHandle)
        m_progressHandle(m_lastProgress, 100.0);
}

void TQDownloader::didFinishDownloading(const Platform::URLResponse& response,
                                        const QString& location) {
    const QString destination =
        m_cacheURL.toLocalFile() + QLatin1Char('/') + safeFileName(response.suggestedFilename);
    const std::filesystem::path target(QFile::encodeName(destination).toStdString());
    std::error_code error;
    std::filesystem::remove_all(target, error);
    std::filesystem::rename(QFile::encodeName(location).toStdString(), target, error);
    if (error) {
        Platform::Log::write(QStringLiteral("Cannot save the download as %1: %2")
                                 .arg(destination, QString::fromStdString(error.message())));
        finish(QUrl());
        return;
    }
    if (m_lastProgress < 100.0 && m_progressHandle)
        m_progressHandle(100.0, 100.0);
    finish(QUrl::fromLocalFile(destination));
}

void TQDownloader::didComplete(const std::optional<Platform::URLSessionError>& error,
                               const std::optional<Platform::URLSessionResumeData>& resumeData) {
    if (!error) {
        m_resumeData.reset();
        if (m_running)
            finish(QUrl());
        return;
    }
    m_resumeData = resumeData;
    if (error->kind == Platform::URLSessionError::Kind::HTTPStatus)
        Platform::Log::write(QStringLiteral("Download failed with HTTP status %1: %2")
                                 .arg(error->statusCode)
                                 .arg(error->url.toString()));
    else
        Platform::Log::write(QStringLiteral("Download of %1 failed: %2")
                                 .arg(error->url.toString(), error->description));
    if (error->kind != Platform::URLSessionError::Kind::Transfer ||
        m_errorTryCount > kMostContinuations) {
        finish(QUrl());
        return;
    }
    ++m_errorTryCount;
    const auto pause = m_receivedBytes
                           ? std::chrono::milliseconds(0)
                           : std::chrono::milliseconds(m_retryPause.load() * m_errorTryCount);
    continueTransfer(pause);
}

void TQDownloader::finish(const QUrl& location) {
    m_running = false;
    {
        std::lock_guard lock(m_taskMutex);
        if (m_stopping)
            return;
    }
    if (m_completionHandler)
        m_completionHandler(location);
}
