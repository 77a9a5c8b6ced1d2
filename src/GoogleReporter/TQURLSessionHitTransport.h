#pragma once

#include "GoogleReporter/TQHitTransport.h"

#include <atomic>

// Hits over the system's URL session: a plain GET as a data task, reply ignored.
class TQURLSessionHitTransport : public TQHitTransport {
public:
    QString get(const QUrl& url) override;
    void cancel() override;

private:
    std::atomic<bool> m_cancelled{false};
};
