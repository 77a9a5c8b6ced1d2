#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <mutex>

// The devserver's analytics collector. Classic hits are pairs; GA4 requests are JSON bodies,
// checked the way GA4's validation endpoint checks them. Each hit or GA4 event gets one
// readable line on standard output and one JSON object per line in hits.jsonl (GA4 events
// with "kind": "ga4", their request's number and any validation messages).
class Collector {
public:
    explicit Collector(QString hitsPath);

    // One classic hit, its pairs decoded.
    void collectHit(const QList<QPair<QString, QString>>& pairs);
    // One GA4 request: its query pairs, body and User-Agent header. Returns the validation
    // messages ({"fieldPath", "description", "validationCode"}); empty when it is valid.
    QJsonArray collectMeasurement(const QList<QPair<QString, QString>>& query,
                                  const QByteArray& body, const QString& userAgent);
    // "<count>  <kind> <name>" per line, in the order the names first came: classic hits by
    // their event category (or hit type), GA4 events by name, and invalid GA4 requests.
    [[nodiscard]] QString summary() const;

private:
    // Under m_mutex, so that the lines of one request stay together.
    void write(QJsonObject entry) const;
    static void print(QString readable);
    void count(const QString& key);

    const QString m_hitsPath;
    mutable std::mutex m_mutex;
    int m_requests = 0;
    QList<QPair<QString, int>> m_counts;
};
