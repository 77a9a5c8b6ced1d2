#include "GoogleReporter/TQMeasurementProtocol.h"

#include <QJsonDocument>
#include <QTextBoundaryFinder>
#include <array>

namespace {

enum class NameFrom { Category, Action };

struct NameRule {
    const char* category; // nullptr matches every category
    NameFrom nameFrom;
    bool actionIsDuration;
};

// The one table of GA4 event names; the first row whose category matches decides.
//   category                  name from  action is a duration (seconds, "%.2f")
//   Download_TimeInterval     category   yes
//   Unarchive_TimeInterval    category   yes
//   Install_TimeInterval      category   yes
//   Error                     action     no   "error" is reserved; the action names the button
//   Quit                      action     no   the action names the answer to the quit prompt
//   any other                 category   no   every stage event is named by its category
// An absent or empty action falls back to the category. The name then keeps letters,
// digits and "_" (anything else becomes "_"), gets the prefix "event_" when it does not start
// with a letter or is a name or prefix GA4 reserves, and is cut to 40 characters.
constexpr std::array<NameRule, 6> nameRules{{
    {"Download_TimeInterval", NameFrom::Category, true},
    {"Unarchive_TimeInterval", NameFrom::Category, true},
    {"Install_TimeInterval", NameFrom::Category, true},
    {"Error", NameFrom::Action, false},
    {"Quit", NameFrom::Action, false},
    {nullptr, NameFrom::Category, false},
}};

constexpr std::array<const char*, 37> reservedNames{
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
constexpr std::array<const char*, 3> reservedPrefixes{"google_", "ga_", "firebase_"};

const NameRule& ruleFor(const QString& category) {
    for (const NameRule& rule : nameRules)
        if (!rule.category || category == QLatin1String(rule.category))
            return rule;
    return nameRules.back();
}

bool isAsciiLetter(QChar character) {
    return (character >= QLatin1Char('a') && character <= QLatin1Char('z')) ||
           (character >= QLatin1Char('A') && character <= QLatin1Char('Z'));
}

bool isNameCharacter(QChar character) {
    return isAsciiLetter(character) ||
           (character >= QLatin1Char('0') && character <= QLatin1Char('9')) ||
           character == QLatin1Char('_');
}

bool isReserved(const QString& name) {
    const QString lower = name.toLower();
    for (const char* reserved : reservedNames)
        if (lower == QLatin1String(reserved))
            return true;
    for (const char* prefix : reservedPrefixes)
        if (lower.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

void insertText(QJsonObject& params, const char* key, const QString& value) {
    if (!value.isNull())
        params.insert(QLatin1String(key), TQMeasurementProtocol::cut(value));
}

} // namespace

QString TQMeasurementProtocol::eventName(const QString& category, const QString& action) {
    const NameRule& rule = ruleFor(category);
    QString name = rule.nameFrom == NameFrom::Action && !action.isEmpty() ? action : category;
    for (QChar& character : name)
        if (!isNameCharacter(character))
            character = QLatin1Char('_');
    if (name.isEmpty() || !isAsciiLetter(name.front()) || isReserved(name))
        name.prepend(QLatin1String("event_"));
    return name.left(maximumNameLength);
}

QString TQMeasurementProtocol::cut(const QString& value) {
    if (value.size() <= maximumValueLength)
        return value;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, value);
    graphemes.setPosition(maximumValueLength);
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    return value.left(std::max<qsizetype>(graphemes.position(), 0));
}

QJsonObject TQMeasurementProtocol::event(const QString& category, const QString& action,
                                         const QString& label, const Common& common) {
    QJsonObject params;
    insertText(params, "event_category", category);
    insertText(params, "event_action", action);
    insertText(params, "event_label", label);
    bool isNumber = false;
    const double seconds = action.toDouble(&isNumber);
    if (ruleFor(category).actionIsDuration && isNumber)
        params.insert(QLatin1String("duration_seconds"), seconds);
    insertText(params, "app_name", common.appName);
    insertText(params, "app_version", common.appVersion);
    insertText(params, "app_build", common.appBuild);
    insertText(params, "session_id", common.sessionId);
    // GA4 shows only events with some engagement time as activity.
    params.insert(QLatin1String("engagement_time_msec"), 1);
    for (qsizetype i = 0; i < common.customDimensions.size() && params.size() < maximumParameters;
         ++i)
        params.insert(QStringLiteral("cd%1").arg(i + 1), cut(common.customDimensions.at(i)));
    return QJsonObject{{QLatin1String("name"), eventName(category, action)},
                       {QLatin1String("params"), params}};
}

QByteArray TQMeasurementProtocol::requestBody(const QString& clientId, const QJsonArray& events) {
    const QJsonObject body{{QLatin1String("client_id"), clientId},
                           {QLatin1String("events"), events}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

bool TQMeasurementProtocol::isPlainKey(const QString& key) {
    if (key.isEmpty())
        return false;
    for (const QChar character : key)
        if (!isNameCharacter(character) && character != QLatin1Char('-'))
            return false;
    return true;
}

QUrl TQMeasurementProtocol::endpoint(const QUrl& baseURL, const QString& measurementId,
                                     const QString& apiSecret) {
    return baseURL.resolved(QUrl(QStringLiteral("mp/collect?measurement_id=%1&api_secret=%2")
                                     .arg(measurementId, apiSecret)));
}
