#include "RecordingHitTransport.h"

QString RecordingHitTransport::get(const QUrl& url) {
    std::unique_lock lock(m_mutex);
    m_hits.append(url);
    return answer(lock);
}

QString RecordingHitTransport::post(const QUrl&, const QByteArray& body, const QList<QByteArray>&) {
    std::unique_lock lock(m_mutex);
    m_posts.append(body);
    return answer(lock);
}

QString RecordingHitTransport::answer(std::unique_lock<std::mutex>& lock) {
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_stalled || m_cancelled; });
    if (m_cancelled)
        return QStringLiteral("cancelled");
    return m_error;
}

void RecordingHitTransport::cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_changed.notify_all();
}

void RecordingHitTransport::setError(const QString& error) {
    std::lock_guard lock(m_mutex);
    m_error = error;
}

void RecordingHitTransport::setStalled(bool stalled) {
    std::lock_guard lock(m_mutex);
    m_stalled = stalled;
    m_changed.notify_all();
}

QList<QUrl> RecordingHitTransport::hits() const {
    std::lock_guard lock(m_mutex);
    return m_hits;
}

QList<QByteArray> RecordingHitTransport::posts() const {
    std::lock_guard lock(m_mutex);
    return m_posts;
}

bool RecordingHitTransport::waitForHits(qsizetype count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_hits.size() >= count; });
}

bool RecordingHitTransport::waitForPosts(qsizetype count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_posts.size() >= count; });
}

bool RecordingHitTransport::wasCancelled() const {
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void RecordingHitTransport::clear() {
    std::lock_guard lock(m_mutex);
    m_hits.clear();
    m_posts.clear();
}

QMap<QString, QString> hitPairs(const QUrl& url) {
    QMap<QString, QString> pairs;
    const QString query = url.query(QUrl::FullyEncoded);
    for (const QString& pair : query.split(QLatin1Char('&'))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString key = pair.left(equals);
        const QString value = equals < 0 ? QString() : pair.mid(equals + 1);
        pairs.insert(QUrl::fromPercentEncoding(key.toLatin1()),
                     QUrl::fromPercentEncoding(value.toLatin1()));
    }
    return pairs;
}
