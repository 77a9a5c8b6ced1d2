#include "GoogleReporter/TQURLSessionHitTransport.h"

#include "Platform/URLSession.h"

#include <condition_variable>

// Shared with the data task's completion, which may outlive the transport.
struct TQURLSessionHitTransport::Transfer {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool cancelled = false;
    QString error;
};

namespace {

const QString abandoned = QStringLiteral("The hit was abandoned: sending has ended.");

} // namespace

TQURLSessionHitTransport::TQURLSessionHitTransport(std::shared_ptr<Platform::URLSession> session)
    : m_session(std::move(session)) {}

QString TQURLSessionHitTransport::get(const QUrl& url) {
    auto transfer = std::make_shared<Transfer>();
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled)
            return abandoned;
        m_current = transfer;
    }
    const std::shared_ptr<Platform::URLSession> session =
        m_session ? m_session : Platform::URLSession::sharedPointer();
    session->dataTask(url, [transfer](const QString& error) {
        std::lock_guard lock(transfer->mutex);
        transfer->finished = true;
        transfer->error = error;
        transfer->changed.notify_all();
    });

    QString result;
    {
        std::unique_lock lock(transfer->mutex);
        transfer->changed.wait(lock, [&] { return transfer->finished || transfer->cancelled; });
        result = transfer->finished ? transfer->error : abandoned;
    }
    std::lock_guard lock(m_mutex);
    m_current.reset();
    return result;
}

void TQURLSessionHitTransport::cancel() {
    std::shared_ptr<Transfer> current;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        current = m_current;
    }
    if (!current)
        return;
    std::lock_guard lock(current->mutex);
    current->cancelled = true;
    current->changed.notify_all();
}
