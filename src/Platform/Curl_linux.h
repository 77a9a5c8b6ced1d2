#pragma once

#include "Platform/URLSession.h"

#include <QString>
#include <QUrl>
#include <curl/curl.h>
#include <memory>
#include <stop_token>

// What every libcurl transfer of the URL session shares.
namespace Platform::Curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// Global libcurl set-up, once per process, before the first handle.
void initializeOnce();

// A handle with the settings every transfer shares: HTTPS only (redirects too), redirects
// followed up to a limit, the configured time-outs and trust, and a stop request polled while
// the transfer runs. `stop` and errorBuffer (CURL_ERROR_SIZE bytes) must outlive the handle.
[[nodiscard]] EasyHandle makeHandle(const QUrl& url, const URLSession::Configuration& configuration,
                                    const std::stop_token& stop, char* errorBuffer);

// libcurl's periodic call of every handle: non-zero ends the transfer once `stop` (a
// std::stop_token) is requested. A handle that hooks the call for more polls this first.
int abortWhenStopped(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

[[nodiscard]] QString describe(CURLcode code, const char* errorBuffer);
// Cancelled when the transfer ended because `stop` was requested.
[[nodiscard]] URLSessionError::Kind kindOf(CURLcode code, const std::stop_token& stop);

} // namespace Platform::Curl
