#pragma once

#include "GoogleReporter/TQHitTransport.h"

#include <memory>
#include <mutex>

namespace Platform {
class URLSession;
}

// Hits over the URL session: each one a data task (a plain GET, reply ignored) that get()
// waits for. A cancelled get() returns at once and leaves its transfer to the session, which
// ends it by its own time-outs or when it is destroyed.
class TQURLSessionHitTransport : public TQHitTransport {
public:
    // A null session means the process-wide one at the time of each hit.
    explicit TQURLSessionHitTransport(std::shared_ptr<Platform::URLSession> session = nullptr);

    QString get(const QUrl& url) override;
    void cancel() override;

private:
    struct Transfer;

    std::shared_ptr<Platform::URLSession> m_session;
    std::mutex m_mutex;
    std::shared_ptr<Transfer> m_current;
    bool m_cancelled = false;
};
