#include "Platform/URLSession.h"

#include "Platform/Curl_linux.h"
#include "Platform/SharedInstance.h"
#include "Platform/URLSessionDownloadTask_linux.h"

namespace Platform {

namespace {

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct Collected {
    QByteArray body;
    qint64 maxBytes = 0;
};

size_t collectBody(char* data, size_t size, size_t count, void* target) {
    auto* collected = static_cast<Collected*>(target);
    if (collected->body.size() + qint64(size * count) > collected->maxBytes)
        return 0;
    collected->body.append(data, qsizetype(size * count));
    return size * count;
}

std::nullopt_t failWith(QString* error, const QString& description) {
    if (error)
        *error = description;
    return std::nullopt;
}

} // namespace

URLSession::URLSession() : URLSession(Configuration{}) {}

URLSession::URLSession(Configuration configuration) : m_configuration(std::move(configuration)) {
    Curl::initializeOnce();
}

URLSession& URLSession::shared() {
    return *SharedInstance<URLSession>::pointer();
}

std::shared_ptr<URLSession> URLSession::sharedPointer() {
    return SharedInstance<URLSession>::pointer();
}

void URLSession::setConfiguration(Configuration configuration) {
    std::lock_guard lock(m_mutex);
    m_configuration = std::move(configuration);
}

URLSession::Configuration URLSession::configuration() const {
    std::lock_guard lock(m_mutex);
    return m_configuration;
}

QString URLSession::get(const QUrl& url, std::stop_token stop) {
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Curl::EasyHandle handle = Curl::makeHandle(url, configuration(), stop, errorBuffer);
    if (!handle)
        return QStringLiteral("cannot create a transfer");
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, discardBody);
    const CURLcode code = curl_easy_perform(handle.get());
    return code == CURLE_OK ? QString() : Curl::describe(code, errorBuffer);
}

std::optional<QByteArray> URLSession::getData(const QUrl& url, qint64 maxBytes, QString* error,
                                              std::stop_token stop) {
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Curl::EasyHandle handle = Curl::makeHandle(url, configuration(), stop, errorBuffer);
    if (!handle)
        return failWith(error, QStringLiteral("cannot create a transfer"));
    Collected collected{{}, maxBytes};
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &collected);
    const CURLcode code = curl_easy_perform(handle.get());
    if (code == CURLE_WRITE_ERROR)
        return failWith(error, QStringLiteral("The body is longer than %1 bytes").arg(maxBytes));
    if (code != CURLE_OK)
        return failWith(error, Curl::describe(code, errorBuffer));
    long status = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        return failWith(error, QStringLiteral("The server answered with status %1").arg(status));
    return collected.body;
}

QString URLSession::post(const QUrl& url, const QByteArray& body, const QList<QByteArray>& headers,
                         std::stop_token stop) {
    Curl::HeaderList list;
    // Without it libcurl may wait for a "100 Continue" that a server never sends.
    list.reset(curl_slist_append(list.release(), "Expect:"));
    for (const QByteArray& header : headers) {
        if (header.contains('\r') || header.contains('\n') || header.contains('\0'))
            return QStringLiteral("a request header holds a line break");
        list.reset(curl_slist_append(list.release(), header.constData()));
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Curl::EasyHandle handle = Curl::makeHandle(url, configuration(), stop, errorBuffer);
    if (!handle || !list)
        return QStringLiteral("cannot create a transfer");
    curl_easy_setopt(handle.get(), CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, discardBody);
    const CURLcode code = curl_easy_perform(handle.get());
    if (code != CURLE_OK)
        return Curl::describe(code, errorBuffer);
    long status = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    return status < 400 ? QString()
                        : QStringLiteral("The server answered with status %1").arg(status);
}

URLSessionDownloadResult URLSession::download(const QUrl& url,
                                              const std::optional<URLSessionResumeData>& resumeData,
                                              const URLSessionDownloadOptions& options,
                                              std::stop_token stop) {
    URLSessionDownloadTask task(configuration(), options, std::move(stop), m_bytesReceived);
    return task.run(url, resumeData);
}

} // namespace Platform
