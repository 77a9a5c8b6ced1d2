#include "Platform/URLSessionDownloadTask_linux.h"

#include "Platform/Curl_linux.h"
#include "Platform/SearchPaths.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// Fewer, larger writes: a package is hundreds of megabytes.
constexpr long kReceiveBufferSize = 512 * 1024;
// Progress reaches the delegate at most this often, and once more at the end.
constexpr std::chrono::milliseconds kProgressInterval{20};
// ...and at least this often once the body is under way, so a stall shows as one.
constexpr std::chrono::milliseconds kQuietInterval{1000};

struct ContentRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 total = -1;
};

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*").
std::optional<ContentRange> parseContentRange(const QByteArray& value) {
    if (!value.startsWith("bytes "))
        return std::nullopt;
    const QByteArray spec = value.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    const qsizetype slash = spec.indexOf('/');
    if (dash <= 0 || slash <= dash)
        return std::nullopt;
    bool ok1 = false, ok2 = false, ok3 = true;
    ContentRange range;
    range.first = spec.left(dash).toLongLong(&ok1);
    range.last = spec.mid(dash + 1, slash - dash - 1).toLongLong(&ok2);
    const QByteArray total = spec.mid(slash + 1);
    if (total != "*")
        range.total = total.toLongLong(&ok3);
    if (!ok1 || !ok2 || !ok3 || range.first < 0 || range.last < range.first ||
        (range.total >= 0 && range.last >= range.total))
        return std::nullopt;
    return range;
}

} // namespace

URLSessionDownloadTask::URLSessionDownloadTask(URLSession::Configuration configuration,
                                               URLSessionDownloadOptions options,
                                               std::stop_token stop,
                                               std::atomic<qint64>& bytesReceived)
    : m_configuration(std::move(configuration)), m_options(std::move(options)),
      m_stop(std::move(stop)), m_bytesReceived(bytesReceived) {}

URLSessionDownloadResult
URLSessionDownloadTask::run(const QUrl& url,
                            const std::optional<URLSessionResumeData>& resumeData) {
    m_url = url;
    if (!(resumeData && adopt(*resumeData)) && !createFile())
        return complete();
    Outcome outcome = attempt(m_length);
    if (outcome == Outcome::StartOver && truncateFile())
        outcome = attempt(0);
    if (outcome == Outcome::StartOver)
        m_failure = URLSessionError{URLSessionError::Kind::Transfer,
                                    QStringLiteral("The server sent a range it was not asked for"),
                                    m_status, m_url};
    return complete();
}

size_t URLSessionDownloadTask::onHeader(char* data, size_t size, size_t count, void* task) {
    static_cast<URLSessionDownloadTask*>(task)->header(QByteArray(data, qsizetype(size * count)));
    return size * count;
}

size_t URLSessionDownloadTask::onBody(char* data, size_t size, size_t count, void* task) {
    return static_cast<URLSessionDownloadTask*>(task)->body(data, size * count);
}

int URLSessionDownloadTask::onTransferInfo(void* task, curl_off_t, curl_off_t, curl_off_t,
                                           curl_off_t) {
    return static_cast<URLSessionDownloadTask*>(task)->transferInfo();
}

int URLSessionDownloadTask::transferInfo() {
    if (Curl::abortWhenStopped(const_cast<std::stop_token*>(&m_stop), 0, 0, 0, 0) != 0)
        return 1;
    const auto now = std::chrono::steady_clock::now();
    if (m_decided && !m_failure && m_outcome == Outcome::Done &&
        now - m_lastProgress >= kQuietInterval) {
        m_lastProgress = now;
        reportProgress();
    }
    return 0;
}

// Continues in the partial file of the record when it is still what the record says.
bool URLSessionDownloadTask::adopt(const URLSessionResumeData& resumeData) {
    m_filePath = resumeData.filePath;
    m_url = resumeData.url;
    struct stat info {};
    m_file.reset(
        ::open(QFile::encodeName(m_filePath).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (m_file.get() < 0 || ::fstat(m_file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size < resumeData.length || resumeData.validator.isEmpty()) {
        m_file.reset();
        return false;
    }
    m_length = resumeData.length;
    m_validator = resumeData.validator;
    return ::ftruncate(m_file.get(), m_length) == 0 &&
           ::lseek(m_file.get(), m_length, SEEK_SET) == m_length;
}

bool URLSessionDownloadTask::createFile() {
    if (!m_filePath.isEmpty())
        QFile::remove(m_filePath);
    const QString folder = m_options.temporaryDirectory.isEmpty()
                               ? SearchPaths::shared().temporaryDirectory()
                               : m_options.temporaryDirectory;
    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/download-XXXXXX.part"));
    m_file.reset(::mkostemps(pattern.data(), 5, O_CLOEXEC));
    m_length = 0;
    m_validator.clear();
    if (m_file.get() < 0) {
        m_filePath.clear();
        m_failure = fileError(QStringLiteral("cannot create a file in %1").arg(folder));
        return false;
    }
    m_filePath = QFile::decodeName(pattern);
    return true;
}

bool URLSessionDownloadTask::truncateFile() {
    m_length = 0;
    m_validator.clear();
    if (::ftruncate(m_file.get(), 0) == 0 && ::lseek(m_file.get(), 0, SEEK_SET) == 0)
        return true;
    m_failure = fileError(m_filePath);
    return false;
}

URLSessionError URLSessionDownloadTask::fileError(const QString& what) const {
    return URLSessionError{
        URLSessionError::Kind::File,
        QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno))), 0, m_url};
}

// One request: from `offset` with a range when it is above 0, else the whole file.
URLSessionDownloadTask::Outcome URLSessionDownloadTask::attempt(qint64 offset) {
    m_offset = offset;
    m_decided = false;
    m_outcome = Outcome::Done;
    m_status = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Curl::EasyHandle handle = Curl::makeHandle(m_url, m_configuration, m_stop, errorBuffer);
    if (!handle) {
        m_failure = URLSessionError{URLSessionError::Kind::Transfer,
                                    QStringLiteral("cannot create a transfer"), 0, m_url};
        return Outcome::Failed;
    }
    m_handle = handle.get();
    curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, onTransferInfo);
    curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, this);
    Curl::HeaderList headers;
    const QByteArray range = "Range: bytes=" + QByteArray::number(offset) + "-";
    const QByteArray ifRange = "If-Range: " + m_validator;
    if (offset > 0) {
        headers.reset(curl_slist_append(headers.release(), range.constData()));
        headers.reset(curl_slist_append(headers.release(), ifRange.constData()));
        curl_easy_setopt(m_handle, CURLOPT_HTTPHEADER, headers.get());
    }
    curl_easy_setopt(m_handle, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    const CURLcode code = curl_easy_perform(m_handle);
    rememberFinalURL();
    if (code == CURLE_OK && !m_decided)
        decide();
    m_handle = nullptr;
    if (m_outcome != Outcome::Done || m_failure)
        return m_failure ? Outcome::Failed : m_outcome;
    if (code != CURLE_OK) {
        m_failure = URLSessionError{Curl::kindOf(code, m_stop), Curl::describe(code, errorBuffer),
                                    0, m_url};
        return Outcome::Failed;
    }
    if (m_expectedTotal >= 0 && m_length != m_expectedTotal) {
        m_failure = URLSessionError{URLSessionError::Kind::Transfer,
                                    QStringLiteral("The body ended before its announced length"),
                                    m_status, m_url};
        return Outcome::Failed;
    }
    return Outcome::Done;
}

void URLSessionDownloadTask::rememberFinalURL() {
    char* effective = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        m_url = QUrl::fromEncoded(QByteArray(effective));
}

void URLSessionDownloadTask::header(QByteArray line) {
    line = line.trimmed();
    if (line.startsWith("HTTP/")) {
        m_status = line.split(' ').value(1).toLong();
        m_etag.clear();
        m_lastModified.clear();
        m_contentRange.clear();
        m_contentDisposition.clear();
        m_acceptsRanges = false;
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "etag")
        m_etag = value;
    else if (name == "last-modified")
        m_lastModified = value;
    else if (name == "content-range")
        m_contentRange = value;
    else if (name == "content-disposition")
        m_contentDisposition = value;
    else if (name == "accept-ranges")
        m_acceptsRanges = value.toLower() == "bytes";
}

QByteArray URLSessionDownloadTask::validator() const {
    if (!m_etag.isEmpty() && !m_etag.startsWith("W/"))
        return m_etag;
    return m_lastModified;
}

// Decides, once the final response's headers are in, where its body goes.
bool URLSessionDownloadTask::decide() {
    m_decided = true;
    rememberFinalURL();
    curl_off_t length = -1;
    curl_easy_getinfo(m_handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    m_responseLength = length;
    m_responseBytes = 0;
    if (m_offset > 0 && (m_status == 206 || m_status == 416))
        return continueRange() && accept();
    if (m_status >= 400) {
        m_failure = URLSessionError{
            URLSessionError::Kind::HTTPStatus,
            QStringLiteral("The server answered with status %1").arg(m_status), m_status, m_url};
        return false;
    }
    if (m_offset > 0 && !truncateFile())
        return false;
    m_validator = validator();
    m_expectedTotal = m_responseLength;
    return accept();
}

bool URLSessionDownloadTask::accept() {
    if (!m_options.didReceiveResponse || m_options.didReceiveResponse(m_responseLength))
        return true;
    m_failure = URLSessionError{URLSessionError::Kind::Cancelled,
                                QStringLiteral("The response was refused"), m_status, m_url};
    return false;
}

// A 206 continues the file only when it starts where the file ends and carries the validator
// the file was fetched with; a continuation without one may be another version of the file.
bool URLSessionDownloadTask::continueRange() {
    const std::optional<ContentRange> range = parseContentRange(m_contentRange);
    if (m_status != 206 || !range || range->first != m_offset || validator() != m_validator) {
        m_outcome = Outcome::StartOver;
        return false;
    }
    if (m_responseLength < 0)
        m_responseLength = range->last - range->first + 1;
    m_expectedTotal = range->total;
    return true;
}

size_t URLSessionDownloadTask::body(const char* data, size_t size) {
    if (!m_decided && !decide())
        return 0;
    if (m_responseLength >= 0 && m_responseBytes + qint64(size) > m_responseLength) {
        m_failure =
            URLSessionError{URLSessionError::Kind::Transfer,
                            QStringLiteral("The body is longer than announced"), m_status, m_url};
        return 0;
    }
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(m_file.get(), data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failure = fileError(m_filePath);
            return 0;
        }
        done += size_t(n);
    }
    m_length += qint64(size);
    m_responseBytes += qint64(size);
    m_bytesReceived += qint64(size);
    m_unreported = true;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastProgress >= kProgressInterval) {
        m_lastProgress = now;
        reportProgress();
    }
    return size;
}

void URLSessionDownloadTask::reportProgress() {
    m_unreported = false;
    if (m_options.didWriteData)
        m_options.didWriteData(m_length, m_expectedTotal);
}

// Leaves the file to the caller, to the resume record, or removes it.
URLSessionDownloadResult URLSessionDownloadTask::complete() {
    if (m_unreported)
        reportProgress();
    m_file.reset();
    URLSessionDownloadResult result;
    result.error = m_failure;
    result.response =
        URLResponse{m_url,           m_status,
                    m_expectedTotal, URLResponse::suggestedFilenameFor(m_contentDisposition, m_url),
                    m_acceptsRanges, validator()};
    if (!m_failure) {
        result.location = m_filePath;
        return result;
    }
    if (m_failure->kind == URLSessionError::Kind::Transfer && m_length > 0 &&
        !m_validator.isEmpty()) {
        result.resumeData = URLSessionResumeData{m_url, m_filePath, m_length, m_validator};
        return result;
    }
    if (!m_filePath.isEmpty())
        QFile::remove(m_filePath);
    return result;
}

} // namespace Platform
