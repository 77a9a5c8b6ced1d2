#include "GoogleReporter/TQHitSender.h"

#include "Platform/Log.h"

TQHitSender::TQHitSender(std::shared_ptr<TQHitTransport> transport)
    : m_transport(std::move(transport)) {}

TQHitSender::~TQHitSender() {
    stop();
}

void TQHitSender::enqueue(const QUrl& url) {
    QString dropped;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            dropped = QStringLiteral("GoogleReporter hit dropped: sending has ended.");
        } else if (m_hits.size() >= capacity) {
            dropped = QStringLiteral("GoogleReporter hit dropped: %1 hits are already waiting.")
                          .arg(m_hits.size());
        } else {
            m_hits.push_back(url);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
        }
    }
    if (!dropped.isNull()) {
        Platform::Log::write(dropped);
        return;
    }
    m_changed.notify_all();
}

std::size_t TQHitSender::finishSending(std::chrono::milliseconds budget) {
    std::size_t unsent = 0;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, budget, [this] { return m_hits.empty() && !m_busy; });
        unsent = m_hits.size() + (m_busy ? 1 : 0);
    }
    stop();
    return unsent;
}

void TQHitSender::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    m_transport->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void TQHitSender::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_hits.empty() || m_stopped; });
        if (m_stopped)
            return;
        const QUrl url = m_hits.front();
        m_hits.pop_front();
        m_busy = true;
        lock.unlock();
        const QString error = m_transport->get(url);
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
        // A transfer cut short by the stop is not a collector failure worth a line.
        if (error.isNull() || m_stopped)
            continue;
        lock.unlock();
        Platform::Log::write(error);
        lock.lock();
    }
}
