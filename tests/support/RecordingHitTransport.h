#pragma once

#include "GoogleReporter/TQHitTransport.h"

#include <QList>
#include <QMap>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Stands in for the collector: records each classic hit's address and each GA4 request's
// body. It can answer at once, fail every transfer, or stall (hold each transfer) until
// released or cancelled.
class RecordingHitTransport : public TQHitTransport {
public:
    QString get(const QUrl& url) override;
    QString post(const QUrl& url, const QByteArray& body,
                 const QList<QByteArray>& headers) override;
    void cancel() override;

    void setError(const QString& error);
    void setStalled(bool stalled);

    [[nodiscard]] QList<QUrl> hits() const;
    // The JSON bodies of the GA4 requests, in order.
    [[nodiscard]] QList<QByteArray> posts() const;
    // Waits until `count` transfers have started; false when the wait timed out.
    [[nodiscard]] bool waitForHits(qsizetype count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    [[nodiscard]] bool waitForPosts(qsizetype count,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));
    [[nodiscard]] bool wasCancelled() const;
    // Forgets what was recorded so far.
    void clear();

private:
    QString answer(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QUrl> m_hits;
    QList<QByteArray> m_posts;
    QString m_error;
    bool m_stalled = false;
    bool m_cancelled = false;
};

// The pairs of a hit's query, split on "&" and "=" and then percent-decoded.
[[nodiscard]] QMap<QString, QString> hitPairs(const QUrl& url);
