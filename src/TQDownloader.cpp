#include "TQDownloader.h"

#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/PrivateFolder.h"
#include "Platform/SearchPaths.h"

#include <QDir>
#include <QFile>
#include <condition_variable>
#include <filesystem>

namespace {

constexpr qint64 kMostContinuations = 5;

// Sleeps for `pause` unless a stop is requested first; false when it was.
bool pauseUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop) {
    if (pause.count() <= 0)
        return !stop.stop_requested();
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    return !wakeUp.wait_for(lock, stop, pause, [] { return false; });
}

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QString defaultDownloadFolder() {
    // Touched first so the shared session outlives the shared downloader.
    (void)Platform::URLSession::sharedPointer();
    QString identifier = Platform::Bundle::main().bundleIdentifier();
    if (identifier.isEmpty())
        identifier = QStringLiteral("TQDownloader");
    return Platform::SearchPaths::shared().temporaryDirectory() + identifier;
}

} // namespace

QString TQDownloader::fileNameFor(const QString& suggested) {
    QString name;
    for (const QChar c : suggested)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            name += c;
    name = name.section(QLatin1Char('/'), -1);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        name.clear();
    return name.isEmpty() ? QStringLiteral("download") : name;
}

TQDownloader& TQDownloader::shared() {
    static TQDownloader downloader;
    return downloader;
}

TQDownloader::TQDownloader() : TQDownloader(defaultDownloadFolder()) {}

TQDownloader::TQDownloader(const QString& downloadFolder,
                           std::shared_ptr<Platform::URLSession> session)
    : m_cacheURL(QUrl::fromLocalFile(Platform::PrivateFolder::make(downloadFolder))),
      m_partialFolder([this] {
          Platform::ScratchFolder::removeAbandoned(m_cacheURL.toLocalFile());
          return Platform::ScratchFolder::create(m_cacheURL.toLocalFile());
      }()),
      m_session(session ? std::move(session) : Platform::URLSession::sharedPointer()) {}

TQDownloader::~TQDownloader() {
    cancel();
    m_operationQueue.waitUntilAllOperationsAreFinished();
}

void TQDownloader::download(const QUrl& url, ProgressHandle progressHandle,
                            CompletionHandler completionHandler, StatusHandle statusHandle,
                            ResponseHandle responseHandle) {
    std::unique_lock lock(m_stopMutex);
    const quint64 generation = m_cancelGeneration;
    lock.unlock();
    m_operationQueue.addOperation(
        [this, url, progressHandle = std::move(progressHandle),
         completionHandler = std::move(completionHandler), statusHandle = std::move(statusHandle),
         responseHandle = std::move(responseHandle), generation]() mutable {
            start(url, std::move(progressHandle), std::move(completionHandler),
                  std::move(statusHandle), std::move(responseHandle), generation);
        });
}

void TQDownloader::resume() {
    std::unique_lock lock(m_stopMutex);
    const quint64 generation = m_cancelGeneration;
    lock.unlock();
    m_operationQueue.addOperation([this, generation] {
        if (!m_resumeData)
            return;
        start(m_url, m_progressHandle, m_completionHandler, m_statusHandle, m_responseHandle,
              generation);
    });
}

QUrl TQDownloader::cacheURL() const {
    return m_cacheURL;
}

std::optional<QByteArray> TQDownloader::fetchData(const QUrl& url, qint64 maxBytes, QString* error,
                                                  std::stop_token stop) const {
    return m_session->getData(url, maxBytes, error, std::move(stop));
}

std::optional<Platform::URLSessionError> TQDownloader::lastFailure() const {
    return m_lastFailure;
}

void TQDownloader::cancel() {
    std::lock_guard lock(m_stopMutex);
    ++m_cancelGeneration;
    m_stop.request_stop();
}

void TQDownloader::addOperation(std::function<void()> block) {
    m_operationQueue.addOperation(std::move(block));
}

bool TQDownloader::waitUntilIdle(std::chrono::milliseconds timeout) {
    return m_operationQueue.waitUntilAllOperationsAreFinished(timeout);
}

void TQDownloader::setRetryPause(std::chrono::milliseconds pause) {
    m_retryPause = pause.count();
}

void TQDownloader::start(const QUrl& url, ProgressHandle progressHandle,
                         CompletionHandler completionHandler, StatusHandle statusHandle,
                         ResponseHandle responseHandle, quint64 generation) {
    m_progressHandle = std::move(progressHandle);
    m_completionHandler = std::move(completionHandler);
    m_statusHandle = std::move(statusHandle);
    m_responseHandle = std::move(responseHandle);
    m_status = TransferStatus{m_resumeData ? m_resumeData->length : 0, -1, -1, -1, false};
    m_rate.reset();
    m_lastFailure.reset();
    m_errorTryCount = 0;
    m_highWaterMark = m_resumeData ? m_resumeData->length : 0;
    m_url = url;
    if (beginTransfer(generation).stop_requested()) {
        discardResumeData();
        finish(QUrl());
        return;
    }
    run(std::chrono::milliseconds(0));
}

std::stop_token TQDownloader::beginTransfer(quint64 generation) {
    std::lock_guard lock(m_stopMutex);
    m_stop = std::stop_source();
    if (generation != m_cancelGeneration)
        m_stop.request_stop();
    return m_stop.get_token();
}

// From the kept resume data when there is some, else from the address; each failure worth
// another try continues after its pause.
void TQDownloader::run(std::chrono::milliseconds pause) {
    std::unique_lock lock(m_stopMutex);
    const std::stop_token stop = m_stop.get_token();
    lock.unlock();
    for (;;) {
        m_madeProgress = false;
        m_lastProgress = 0;
        Platform::URLSessionDownloadOptions options;
        options.temporaryDirectory =
            m_partialFolder ? m_partialFolder->path() : m_cacheURL.toLocalFile();
        options.didWriteData = [this](qint64 total, qint64 expected) {
            didWriteData(total, expected);
        };
        options.didReceiveResponse = m_responseHandle;
        if (pause.count() > 0) {
            m_rate.reset();
            reportStatus(true);
        }
        const Platform::URLSessionDownloadResult result =
            pauseUnlessStopped(pause, stop)
                ? m_session->download(m_resumeData ? m_resumeData->url : m_url, m_resumeData,
                                      options, stop)
                : Platform::URLSessionDownloadResult{
                      Platform::URLSessionError{Platform::URLSessionError::Kind::Cancelled,
                                                QStringLiteral("cancelled"), 0, m_url},
                      {},
                      {},
                      m_resumeData};
        if (!result.error) {
            m_resumeData.reset();
            didFinishDownloading(result);
            return;
        }
        const std::optional<std::chrono::milliseconds> next = didFail(result);
        if (!next)
            return;
        pause = *next;
    }
}

void TQDownloader::didWriteData(qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite) {
    if (totalBytesWritten > m_highWaterMark) {
        m_highWaterMark = totalBytesWritten;
        m_errorTryCount = 0;
        m_madeProgress = true;
    }
    // Without a length there is no honest percentage until the end.
    const double value = totalBytesExpectedToWrite > 0
                             ? double(totalBytesWritten) / double(totalBytesExpectedToWrite) * 100.0
                             : 0.0;
    m_lastProgress = std::clamp(value, 0.0, 100.0);
    if (m_progressHandle)
        m_progressHandle(m_lastProgress, 100.0);
    m_rate.add(steadySeconds(), totalBytesWritten);
    m_status = TransferStatus{totalBytesWritten, totalBytesExpectedToWrite, m_rate.bytesPerSecond(),
                              m_rate.secondsLeft(totalBytesExpectedToWrite), false};
    reportStatus(false);
}

void TQDownloader::reportStatus(bool retrying) {
    m_status.retrying = retrying;
    if (retrying)
        m_status.bytesPerSecond = m_status.secondsLeft = -1;
    if (m_statusHandle)
        m_statusHandle(m_status);
}

void TQDownloader::didFinishDownloading(const Platform::URLSessionDownloadResult& result) {
    const QString destination = m_cacheURL.toLocalFile() + QLatin1Char('/') +
                                fileNameFor(result.response.suggestedFilename);
    const std::filesystem::path target(QFile::encodeName(destination).toStdString());
    std::error_code error;
    std::filesystem::remove_all(target, error);
    std::filesystem::rename(QFile::encodeName(result.location).toStdString(), target, error);
    if (error) {
        m_lastFailure = Platform::URLSessionError{Platform::URLSessionError::Kind::File,
                                                  QString::fromStdString(error.message()), 0,
                                                  result.response.url};
        Platform::Log::write(QStringLiteral("Cannot save the download as %1: %2")
                                 .arg(destination, QString::fromStdString(error.message())));
        QFile::remove(result.location);
        finish(QUrl());
        return;
    }
    if (m_lastProgress < 100.0 && m_progressHandle)
        m_progressHandle(100.0, 100.0);
    finish(QUrl::fromLocalFile(destination));
}

std::optional<std::chrono::milliseconds>
TQDownloader::didFail(const Platform::URLSessionDownloadResult& result) {
    using Kind = Platform::URLSessionError::Kind;
    const Platform::URLSessionError& error = *result.error;
    m_lastFailure = error;
    m_resumeData = result.resumeData;
    if (error.kind == Kind::Cancelled) {
        discardResumeData();
        finish(QUrl());
        return std::nullopt;
    }
    if (error.kind == Kind::HTTPStatus)
        Platform::Log::write(QStringLiteral("Download failed with HTTP status %1: %2")
                                 .arg(error.statusCode)
                                 .arg(error.url.toString()));
    else
        Platform::Log::write(QStringLiteral("Download of %1 failed: %2")
                                 .arg(error.url.toString(), error.description));
    if (error.kind != Kind::Transfer || m_errorTryCount > kMostContinuations) {
        finish(QUrl());
        return std::nullopt;
    }
    ++m_errorTryCount;
    return m_madeProgress ? std::chrono::milliseconds(0)
                          : std::chrono::milliseconds(m_retryPause.load() * m_errorTryCount);
}

void TQDownloader::discardResumeData() {
    if (m_resumeData)
        QFile::remove(m_resumeData->filePath);
    m_resumeData.reset();
}

void TQDownloader::finish(const QUrl& location) {
    if (m_completionHandler)
        m_completionHandler(location);
}
