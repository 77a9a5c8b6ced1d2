#include "Platform/URLSession.h"

#include "Platform/Curl_linux.h"
#include "Platform/SharedInstance.h"
#include "Platform/URLSessionDownloadTask_linux.h"

namespace Platform {

namespace {

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
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

URLSessionDownloadResult URLSession::download(const QUrl& url,
                                              const std::optional<URLSessionResumeData>& resumeData,
                                              const URLSessionDownloadOptions& options,
                                              std::stop_token stop) {
    URLSessionDownloadTask task(configuration(), options, std::move(stop), m_bytesReceived);
    return task.run(url, resumeData);
}

} // namespace Platform
