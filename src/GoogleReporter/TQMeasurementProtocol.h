#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

// How a reporter event becomes a GA4 Measurement Protocol event, within the limits the
// collector keeps (beyond them it drops the event or the value without a word).
class TQMeasurementProtocol {
public:
    static constexpr qsizetype maximumEventsPerRequest = 25;
    static constexpr qsizetype maximumParameters = 25;
    static constexpr qsizetype maximumNameLength = 40;
    static constexpr qsizetype maximumValueLength = 100;

    // What every event of one reporter carries besides its own texts.
    struct Common {
        QString appName;
        QString appVersion;
        QString appBuild;
        QString sessionId;
        QStringList customDimensions;
    };

    // The event {"name", "params"}: category, action and label (absent ones left out) as
    // "event_category", "event_action", "event_label", the action also as the number
    // "duration_seconds" where the name table says it is a duration, then the common values.
    [[nodiscard]] static QJsonObject event(const QString& category, const QString& action,
                                           const QString& label, const Common& common);
    // The event's name, from the name table (see the .cpp file).
    [[nodiscard]] static QString eventName(const QString& category, const QString& action);
    // `value` cut to maximumValueLength UTF-16 units at a whole character (grapheme).
    [[nodiscard]] static QString cut(const QString& value);
    // The JSON body of one request.
    [[nodiscard]] static QByteArray requestBody(const QString& clientId, const QJsonArray& events);
    // True for a measurement ID or API secret that can stand in a URL as it is.
    [[nodiscard]] static bool isPlainKey(const QString& key);
    // <baseURL>mp/collect?measurement_id=...&api_secret=... (both keys plain).
    [[nodiscard]] static QUrl endpoint(const QUrl& baseURL, const QString& measurementId,
                                       const QString& apiSecret);
};
