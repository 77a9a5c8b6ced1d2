#pragma once

#include "GoogleReporter/TQHitTransport.h"

#include <memory>
#include <stop_token>

namespace Platform {
class URLSession;
}

// Hits over the URL session, each transfer on the sender's queue, reply ignored.
// A cancel ends the running transfer within about a second, and every later one at once.
class TQURLSessionHitTransport : public TQHitTransport {
public:
    // A null session means the process-wide one at the time of each hit.
    explicit TQURLSessionHitTransport(std::shared_ptr<Platform::URLSession> session = nullptr);

    QString get(const QUrl& url) override;
    QString post(const QUrl& url, const QByteArray& body,
                 const QList<QByteArray>& headers) override;
    void cancel() override;

private:
    [[nodiscard]] std::shared_ptr<Platform::URLSession> session() const;

    std::shared_ptr<Platform::URLSession> m_session;
    std::stop_source m_stop;
};
