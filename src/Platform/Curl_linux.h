#pragma once

#include "Platform/URLSession.h"

#include <QString>
#include <QUrl>
#include <atomic>
#include <curl/curl.h>
#include <memory>

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
// followed up to a limit, the configured time-outs and trust, and a cancel flag polled while
// the transfer runs. errorBuffer (CURL_ERROR_SIZE bytes) must outlive the handle.
[[nodiscard]] EasyHandle makeHandle(const QUrl& url, const URLSession::Configuration& configuration,
                                    std::atomic<bool>& cancelled, char* errorBuffer);

[[nodiscard]] QString describe(CURLcode code, const char* errorBuffer);
[[nodiscard]] URLSessionError::Kind kindOf(CURLcode code);

} // namespace Platform::Curl
