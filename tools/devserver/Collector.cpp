#include "Collector.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace {

constexpr qsizetype maximumBodyBytes = 130000;
constexpr qsizetype maximumEvents = 25;
constexpr qsizetype maximumParameters = 25;
constexpr qsizetype maximumNameLength = 40;
constexpr qsizetype maximumValueLength = 100;

const QStringList requestFields{"client_id",       "user_id",         "timestamp_micros",
                                "user_properties", "consent",         "non_personalized_ads",
                                "events",          "user_data",       "user_location",
                                "device",          "app_instance_id", "validation_behavior"};
const QStringList eventFields{"name", "params", "timestamp_micros"};
const QStringList reservedEventNames{
    "ad_activeview",
    "ad_click",
    "ad_exposure",
    "ad_impression",
    "ad_query",
    "ad_reward",
    "adunit_exposure",
    "app_background",
    "app_clear_data",
    "app_exception",
    "app_install",
    "app_remove",
    "app_store_refund",
    "app_store_subscription_cancel",
    "app_store_subscription_convert",
    "app_store_subscription_renew",
    "app_update",
    "app_upgrade",
    "dynamic_link_app_open",
    "dynamic_link_app_update",
    "dynamic_link_first_open",
    "error",
    "firebase_campaign",
    "firebase_in_app_message_action",
    "firebase_in_app_message_dismiss",
    "firebase_in_app_message_impression",
    "first_open",
    "first_visit",
    "in_app_purchase",
    "notification_dismiss",
    "notification_foreground",
    "notification_open",
    "notification_receive",
    "os_update",
    "session_start",
    "session_start_with_rollout",
    "user_engagement",
};
const QRegularExpression namePattern(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
const QRegularExpression reservedPrefix(QStringLiteral("^(google_|ga_|firebase_)"));

// Collects the validation messages of one request.
class Validation {
public:
    void add(const QString& fieldPath, const QString& description, const char* code) {
        m_messages.append(QJsonObject{{"fieldPath", fieldPath},
                                      {"description", description},
                                      {"validationCode", QLatin1String(code)}});
    }
    void checkName(const QString& fieldPath, const QString& name, bool isEvent) {
        if (!namePattern.match(name).hasMatch() || name.size() > maximumNameLength)
            add(fieldPath,
                QStringLiteral("%1 [%2] must start with a letter, hold only letters, digits and "
                               "underscores, and be at most %3 characters long.")
                    .arg(isEvent ? "Event name" : "Parameter name", name)
                    .arg(maximumNameLength),
                "NAME_INVALID");
        else if (reservedPrefix.match(name.toLower()).hasMatch() ||
                 (isEvent && reservedEventNames.contains(name.toLower())))
            add(fieldPath, QStringLiteral("Name [%1] is reserved.").arg(name), "NAME_RESERVED");
    }
    void checkUnknownFields(const QString& fieldPath, const QJsonObject& object,
                            const QStringList& known) {
        for (const QString& key : object.keys())
            if (!known.contains(key))
                add(fieldPath + key, QStringLiteral("Cannot find field: %1.").arg(key),
                    "VALUE_INVALID");
    }
    void checkParameters(const QString& fieldPath, const QJsonValue& value) {
        if (value.isUndefined())
            return;
        if (!value.isObject())
            return add(fieldPath, QStringLiteral("Parameters must be an object."), "VALUE_INVALID");
        const QJsonObject params = value.toObject();
        if (params.size() > maximumParameters)
            add(fieldPath,
                QStringLiteral("%1 parameters, more than %2.")
                    .arg(params.size())
                    .arg(maximumParameters),
                "EXCEEDED_MAX_ENTITIES");
        for (auto param = params.begin(); param != params.end(); ++param) {
            const QString path = fieldPath + QLatin1Char('.') + param.key();
            checkName(path, param.key(), false);
            if (param->isString() && param->toString().size() > maximumValueLength)
                add(path,
                    QStringLiteral("Value is %1 characters long, more than %2.")
                        .arg(param->toString().size())
                        .arg(maximumValueLength),
                    "VALUE_OUT_OF_BOUNDS");
            else if (param->isObject() || (param->isArray() && param.key() != "items"))
                add(path, QStringLiteral("Value must be a string or a number."), "VALUE_INVALID");
        }
    }
    void checkEvent(const QString& fieldPath, const QJsonValue& value) {
        if (!value.isObject())
            return add(fieldPath, QStringLiteral("An event must be an object."), "VALUE_INVALID");
        const QJsonObject event = value.toObject();
        checkUnknownFields(fieldPath + QLatin1Char('.'), event, eventFields);
        if (!event.value("name").isString())
            add(fieldPath + ".name", QStringLiteral("Every event needs a name."), "VALUE_REQUIRED");
        else
            checkName(fieldPath + ".name", event.value("name").toString(), true);
        checkParameters(fieldPath + ".params", event.value("params"));
    }
    void checkRequest(const QJsonObject& request) {
        checkUnknownFields(QString(), request, requestFields);
        if (request.value("client_id").toString().isEmpty())
            add("client_id", QStringLiteral("A client_id is required."), "VALUE_REQUIRED");
        const QJsonArray events = request.value("events").toArray();
        if (events.isEmpty())
            add("events", QStringLiteral("At least one event is required."), "VALUE_REQUIRED");
        if (events.size() > maximumEvents)
            add("events",
                QStringLiteral("%1 events, more than %2.").arg(events.size()).arg(maximumEvents),
                "EXCEEDED_MAX_ENTITIES");
        for (qsizetype i = 0; i < events.size(); ++i)
            checkEvent(QStringLiteral("events[%1]").arg(i), events.at(i));
    }
    [[nodiscard]] QJsonArray messages() const { return m_messages; }

private:
    QJsonArray m_messages;
};

QString valueText(const QJsonValue& value) {
    return value.isString() ? value.toString() : QString::number(value.toDouble());
}

QString readableEvent(const QJsonObject& event) {
    QStringList readable{QStringLiteral("ga4 name=") + event.value("name").toString()};
    const QJsonObject params = event.value("params").toObject();
    for (auto param = params.begin(); param != params.end(); ++param)
        if (param.key().startsWith("event_") || param.key().startsWith("duration") ||
            param.key().startsWith("cd") || param.key() == "app_name")
            readable << param.key() + QLatin1Char('=') + valueText(*param);
    return readable.join(QLatin1Char(' '));
}

// The validation messages of one request, in the validation endpoint's shape.
QJsonArray validate(const QList<QPair<QString, QString>>& query, const QByteArray& body) {
    Validation validation;
    for (const char* key : {"measurement_id", "api_secret"})
        if (!std::any_of(query.begin(), query.end(), [key](const auto& pair) {
                return pair.first == QLatin1String(key) && !pair.second.isEmpty();
            }))
            validation.add(key, QStringLiteral("The query needs %1.").arg(key), "VALUE_REQUIRED");
    if (body.size() > maximumBodyBytes) {
        validation.add(QString(),
                       QStringLiteral("The body exceeds %1 bytes.").arg(maximumBodyBytes),
                       "VALUE_OUT_OF_BOUNDS");
        return validation.messages();
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (!document.isObject())
        validation.add(QString(),
                       QStringLiteral("Unable to parse Measurement Protocol JSON payload: %1.")
                           .arg(error.errorString()),
                       "VALUE_INVALID");
    else
        validation.checkRequest(document.object());
    return validation.messages();
}

} // namespace

Collector::Collector(QString hitsPath) : m_hitsPath(std::move(hitsPath)) {}

QJsonArray Collector::collectMeasurement(const QList<QPair<QString, QString>>& query,
                                         const QByteArray& body, const QString& userAgent) {
    const QJsonArray messages = validate(query, body);
    const QJsonObject request =
        body.size() > maximumBodyBytes ? QJsonObject() : QJsonDocument::fromJson(body).object();
    const QJsonArray events = request.value("events").toArray();
    std::lock_guard lock(m_mutex);
    QJsonObject entry{{"kind", "ga4"},
                      {"request", ++m_requests},
                      {"client_id", request.value("client_id")},
                      {"user_agent", userAgent}};
    if (!messages.isEmpty()) {
        entry.insert("validationMessages", messages);
        count(QStringLiteral("ga4 invalid request"));
    }
    for (const QJsonValue& message : messages)
        print(QStringLiteral("ga4 INVALID %1 %2: %3")
                  .arg(message["validationCode"].toString(), message["fieldPath"].toString(),
                       message["description"].toString()));
    if (events.isEmpty())
        write(entry);
    for (const QJsonValue& event : events) {
        QJsonObject line = entry;
        line.insert("name", event["name"]);
        line.insert("params", event["params"]);
        write(line);
        print(readableEvent(event.toObject()));
        count(QStringLiteral("ga4 ") + event["name"].toString());
    }
    return messages;
}

void Collector::collectHit(const QList<QPair<QString, QString>>& pairs) {
    QJsonObject hit;
    QStringList readable;
    for (const auto& [key, value] : pairs) {
        hit.insert(key, value);
        if (key == QStringLiteral("t") || key.startsWith(QStringLiteral("e")) ||
            key.startsWith(QStringLiteral("cd")) || key == QStringLiteral("an"))
            readable << key + QLatin1Char('=') + value;
    }
    std::lock_guard lock(m_mutex);
    write(hit);
    print(readable.join(QLatin1Char(' ')));
    count(QStringLiteral("classic ") + hit.value(hit.contains("ec") ? "ec" : "t").toString());
}

// Under m_mutex.
void Collector::count(const QString& key) {
    const auto counted = std::find_if(m_counts.begin(), m_counts.end(),
                                      [&key](const auto& pair) { return pair.first == key; });
    if (counted == m_counts.end())
        m_counts.append({key, 1});
    else
        ++counted->second;
}

QString Collector::summary() const {
    std::lock_guard lock(m_mutex);
    QString lines;
    for (const auto& [key, times] : m_counts)
        lines += QStringLiteral("%1  %2\n").arg(times, 5).arg(key);
    return lines;
}

void Collector::write(QJsonObject entry) const {
    entry.insert("_received", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    QFile file(m_hitsPath);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

// Line breaks in values (attribute descriptions) are shown as "\n" to keep one line each.
void Collector::print(QString readable) {
    std::printf("hit   %s\n",
                qPrintable(readable.replace(QLatin1Char('\n'), QStringLiteral("\\n"))));
    std::fflush(stdout);
}
