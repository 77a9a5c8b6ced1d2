#include "Platform/Curl_linux.h"

#include <QFile>
#include <mutex>

namespace Platform::Curl {

namespace {

constexpr long kMaximumRedirects = 20;
// A server that trickles a few bytes a second would otherwise keep a transfer alive forever.
constexpr long kLowestSpeed = 1024;

} // namespace

int abortWhenStopped(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

void initializeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl copies the strings it is given.
EasyHandle makeHandle(const QUrl& url, const URLSession::Configuration& configuration,
                      const std::stop_token& stop, char* errorBuffer) {
    EasyHandle handle(curl_easy_init());
    if (!handle)
        return handle;
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaximumRedirects);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(configuration.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowestSpeed);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(configuration.idleTimeout.count()));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "OnlineInstaller/" TQ_INSTALLER_VERSION);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, abortWhenStopped);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop);
    const QByteArray caFile = configuration.caFile.isEmpty()
                                  ? qgetenv("CURL_CA_BUNDLE")
                                  : QFile::encodeName(configuration.caFile);
    if (!caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    return handle;
}

QString describe(CURLcode code, const char* errorBuffer) {
    QString text = QString::fromUtf8(curl_easy_strerror(code));
    if (errorBuffer && *errorBuffer)
        text += QStringLiteral(": ") + QString::fromUtf8(errorBuffer).trimmed();
    return text;
}

URLSessionError::Kind kindOf(CURLcode code, const std::stop_token& stop) {
    if (code == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested())
        return URLSessionError::Kind::Cancelled;
    return code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT ||
                   code == CURLE_TOO_MANY_REDIRECTS
               ? URLSessionError::Kind::BadAddress
               : URLSessionError::Kind::Transfer;
}

} // namespace Platform::Curl
