#include "GoogleReporter/TQGoogleReporter.h"

#include "Extensions/BundleExtension.h"
#include "Extensions/DictionaryExtension.h"
#include "GoogleReporter/TQHitSender.h"
#include "GoogleReporter/TQMeasurementProtocol.h"
#include "GoogleReporter/TQURLSessionHitTransport.h"
#include "Platform/Bundle.h"
#include "Platform/Locale.h"
#include "Platform/Log.h"
#include "Platform/Screen.h"
#include "Platform/SearchPaths.h"
#include "Platform/UserAccount.h"
#include "Platform/UserAgent.h"
#include "Platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QUuid>

namespace {

const QString defaultBaseURL = QStringLiteral("https://www.google-analytics.com/");
const QString defaultTrackerId = QStringLiteral("UA-73921-01");
constexpr std::chrono::milliseconds exitBudget{2000};

// The path characters that may stand unencoded besides letters, digits and "-._~".
// "&", "=" and "+" are left out: in a query they would split or alter the value.
const QByteArray unencodedPathCharacters = QByteArrayLiteral("!$'()*,:@/");

// Collectors refuse a hit longer than 8 KB, which would lose the event with it. A value is
// cut to this many encoded bytes (whole characters), so even three overlong texts fit.
constexpr qsizetype maximumEncodedValueLength = 2048;

qsizetype encodedLength(uint character) {
    if (character < 0x80) {
        const char ascii = char(character);
        const bool unreserved = (ascii >= 'a' && ascii <= 'z') || (ascii >= 'A' && ascii <= 'Z') ||
                                (ascii >= '0' && ascii <= '9') ||
                                QByteArrayView("-._~").contains(ascii) ||
                                unencodedPathCharacters.contains(ascii);
        return unreserved ? 1 : 3;
    }
    const qsizetype utf8Bytes = character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
    return 3 * utf8Bytes;
}

QByteArray encodeValue(const QString& value) {
    QByteArray encoded = QUrl::toPercentEncoding(value, unencodedPathCharacters);
    if (encoded.size() <= maximumEncodedValueLength)
        return encoded;
    qsizetype length = 0;
    qsizetype cut = 0;
    for (const uint character : QStringView(value).toUcs4()) {
        length += encodedLength(character);
        if (length > maximumEncodedValueLength)
            break;
        cut += character > 0xFFFF ? 2 : 1;
    }
    return QUrl::toPercentEncoding(value.left(cut), unencodedPathCharacters);
}

QUrl readBaseURL() {
    const QString text = Platform::Bundle::main().plainString(QStringLiteral("AnalyticsBaseURL"));
    if (text.isEmpty())
        return QUrl(defaultBaseURL);
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
        url.path().endsWith(QLatin1Char('/')) && !url.hasQuery() && !url.hasFragment())
        return url;
    Platform::Log::write(
        QStringLiteral("AnalyticsBaseURL %1 is not an https root ending in \"/\"; using %2")
            .arg(text, defaultBaseURL));
    return QUrl(defaultBaseURL);
}

QString setting(const char* key) {
    return Platform::Bundle::main().plainString(QLatin1String(key));
}

bool hasMeasurementKeys() {
    return TQMeasurementProtocol::isPlainKey(setting("AnalyticsMeasurementID")) &&
           TQMeasurementProtocol::isPlainKey(setting("AnalyticsAPISecret"));
}

// Where a file name may go on: a match next to one of these is part of a longer name.
const QString nameCharacters = QStringLiteral("[\\w.~+@-]");

// Matches `texts` where they stand alone (not inside a longer name); empty when none.
QRegularExpression standaloneText(QStringList texts) {
    texts.removeIf([](const QString& text) { return text.isEmpty(); });
    texts.removeDuplicates();
    if (texts.isEmpty())
        return QRegularExpression();
    for (QString& text : texts)
        text = QRegularExpression::escape(text);
    QRegularExpression pattern(
        QStringLiteral("(?<!%1)(?:%2)(?!%1)").arg(nameCharacters, texts.join(QLatin1Char('|'))),
        QRegularExpression::UseUnicodePropertiesOption);
    pattern.optimize();
    return pattern;
}

// The user agent as a header value: printable ASCII, the rest percent-encoded.
QByteArray headerValue(const QString& text) {
    return QUrl::toPercentEncoding(text, " !\"#$&'()*+,/:;<=>?@[\\]^`{|}");
}

void finishSharedSending() {
    const std::size_t unsent = TQGoogleReporter::shared().finishSending(exitBudget);
    if (unsent > 0)
        Platform::Log::write(
            QStringLiteral("GoogleReporter: %1 hits not sent at exit").arg(unsent));
}

} // namespace

TQGoogleReporter& TQGoogleReporter::shared() {
    static TQGoogleReporter reporter;
    static const bool flushesAtExit = [] {
        qAddPostRoutine(finishSharedSending);
        return true;
    }();
    Q_UNUSED(flushesAtExit);
    return reporter;
}

TQGoogleReporter::TQGoogleReporter(std::shared_ptr<TQHitTransport> transport)
    : m_baseURL(readBaseURL()),
      m_identifierKey(QStringLiteral("co.quintrel.GoogleReporter.uniqueUserIdentifier")),
      m_appName(bundleName()), m_appIdentifier(bundleID()), m_appVersion(bundleShortVersion()),
      m_appBuild(bundleVersion()),
      m_formattedVersion(QStringLiteral("%1 %2").arg(m_appVersion, m_appBuild)) {
    const QStringList languages = Platform::Locale::preferredLanguages();
    if (!languages.isEmpty())
        m_userLanguage = languages.first();
    const QSize screen = Platform::Screen::mainScreenSize();
    m_screenResolution = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
    m_isEnabled = !checkWrapperTag();
    m_quietMode = true;
    m_usesVendorIdentifier = false;
    m_anonymizeIP = true;
    initUserAgent();
    initUniqueUserIdentifier();
    initPersonalDataPatterns();
    m_sender = std::make_unique<TQHitSender>(
        transport ? std::move(transport) : std::make_shared<TQURLSessionHitTransport>(),
        initMeasurement());
}

TQGoogleReporter::~TQGoogleReporter() = default;

QString TQGoogleReporter::configuredTrackerId() {
    const QString trackerId = setting("AnalyticsTrackerID");
    if (!trackerId.isEmpty())
        return trackerId;
    return hasMeasurementKeys() ? QString() : defaultTrackerId;
}

// Reads the GA4 keys; with both set and plain, fills the values every GA4 event carries and
// returns where the requests go, else a null endpoint. Any other keys are worth a line.
TQHitSender::MeasurementRequest TQGoogleReporter::initMeasurement() {
    const QString measurementId = setting("AnalyticsMeasurementID");
    const QString apiSecret = setting("AnalyticsAPISecret");
    if (measurementId.isEmpty() && apiSecret.isEmpty())
        return {};
    if (!hasMeasurementKeys()) {
        Platform::Log::write(QStringLiteral(
            "GoogleReporter: AnalyticsMeasurementID and AnalyticsAPISecret must both be set, in "
            "ASCII letters, digits, \"-\" and \"_\"; no GA4 events are sent"));
        return {};
    }
    m_measurementCommon = {m_appName,
                           m_appVersion,
                           m_appBuild,
                           QString::number(QDateTime::currentSecsSinceEpoch()),
                           {}};
    return {TQMeasurementProtocol::endpoint(m_baseURL, measurementId, apiSecret),
            m_uniqueUserIdentifier,
            {QByteArrayLiteral("Content-Type: application/json"),
             "User-Agent: " + headerValue(m_userAgent)}};
}

void TQGoogleReporter::initPersonalDataPatterns() {
    QString home = Platform::SearchPaths::shared().homeDirectory();
    while (home.endsWith(QLatin1Char('/')))
        home.chop(1);
    m_homePattern = standaloneText({home, QFileInfo(home).canonicalFilePath()});
    m_loginPattern = standaloneText({Platform::UserAccount::loginName()});
}

QString TQGoogleReporter::withoutPersonalData(const QString& text) const {
    QString result = text;
    if (!m_homePattern.pattern().isEmpty())
        result.replace(m_homePattern, QStringLiteral("~"));
    if (!m_loginPattern.pattern().isEmpty())
        result.replace(m_loginPattern, QStringLiteral("(user)"));
    return result;
}

void TQGoogleReporter::initUserAgent() {
    QString systemVersion = Platform::UserAgent::operatingSystemVersionString();
    systemVersion.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString fallback = QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X %1) "
                                            "AppleWebKit/603.2.4 (KHTML, like Gecko) %2/%3")
                                 .arg(systemVersion, m_appName, m_appVersion);
    const QString webView = Platform::UserAgent::webViewUserAgent(m_appName, m_appVersion);
    m_userAgent = webView.isEmpty() ? fallback : webView;
}

void TQGoogleReporter::initUniqueUserIdentifier() {
    Platform::UserDefaults& defaults = Platform::UserDefaults::standard();
    QString identifier = defaults.stringForKey(m_identifierKey);
    if (identifier.isEmpty()) {
        identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        // Unsaved, the identifier still serves this run; the next run makes another.
        if (!defaults.setString(m_identifierKey, identifier))
            Platform::Log::write(QStringLiteral("GoogleReporter: cannot save the client ID in %1")
                                     .arg(defaults.filePath()));
        if (!m_quietMode)
            Platform::Log::write(QStringLiteral("New GA user with identifier: %1").arg(identifier));
    }
    m_uniqueUserIdentifier = identifier;
}

void TQGoogleReporter::configure(const QString& trackerId) {
    std::lock_guard lock(m_mutex);
    m_trackerId = trackerId;
}

void TQGoogleReporter::setCustomDimensionArguments(const QStringList& arguments) {
    std::lock_guard lock(m_mutex);
    m_customDimensionArguments = arguments;
}

QStringList TQGoogleReporter::customDimensionArguments() const {
    std::lock_guard lock(m_mutex);
    return m_customDimensionArguments;
}

void TQGoogleReporter::event(const QString& category, const QString& action, const QString& label,
                             const Parameters& parameters) {
    const EventTexts texts{category, withoutPersonalData(action), withoutPersonalData(label)};
    Parameters hit = parameters;
    setNullableObject(hit, texts.category, QStringLiteral("ec"));
    setNullableObject(hit, texts.action, QStringLiteral("ea"));
    setNullableObject(hit, texts.label, QStringLiteral("el"));
    send(QStringLiteral("event"), hit, texts);
}

void TQGoogleReporter::screenView(const QString& name, const Parameters& parameters) {
    Parameters hit = parameters;
    setNullableObject(hit, name, QStringLiteral("cd"));
    send(QStringLiteral("screenView"), hit);
}

void TQGoogleReporter::exception(const QString& description, bool isFatal,
                                 const Parameters& parameters) {
    Parameters hit = parameters;
    setNullableObject(hit, description, QStringLiteral("exd"));
    setNullableObject(hit, QString::number(isFatal ? 1 : 0), QStringLiteral("exf"));
    send(QStringLiteral("exception"), hit);
}

void TQGoogleReporter::session(bool start, const Parameters& parameters) {
    Parameters hit = parameters;
    setNullableObject(hit, start ? QStringLiteral("start") : QStringLiteral("end"),
                      QStringLiteral("sc"));
    setNullableObject(hit, m_appName, QStringLiteral("dp"));
    send(QString(), hit);
}

void TQGoogleReporter::send(const QString& type, const Parameters& parameters) {
    send(type, parameters, std::nullopt);
}

void TQGoogleReporter::send(const QString& type, const Parameters& parameters,
                            const std::optional<EventTexts>& texts) {
    if (!m_isEnabled)
        return;
    QString trackerId;
    QStringList dimensions;
    {
        std::lock_guard lock(m_mutex);
        trackerId = m_trackerId;
        dimensions = m_customDimensionArguments;
    }
    const bool measures = m_measurementCommon.has_value();
    if (trackerId.isEmpty() && !measures) {
        Platform::Log::write(QStringLiteral("GoogleReporter event ignored."));
        Platform::Log::write(QStringLiteral(
            "You must set your tracker ID UA-XXXXX-XX with GoogleReporter.configure()"));
        return;
    }
    QUrl url;
    if (!trackerId.isEmpty()) {
        Parameters hit = commonParameters(trackerId, type, dimensions);
        hit.insert(parameters);
        url = generateUrl(hit);
        if (!m_quietMode)
            Platform::Log::write(
                QStringLiteral("Sending GA Report: %1").arg(url.toString(QUrl::FullyEncoded)));
    }
    QJsonObject measurementEvent;
    if (measures && texts) {
        TQMeasurementProtocol::Common common = *m_measurementCommon;
        common.customDimensions = dimensions;
        measurementEvent =
            TQMeasurementProtocol::event(texts->category, texts->action, texts->label, common);
    }
    if (!url.isEmpty() || !measurementEvent.isEmpty())
        m_sender->enqueue(url, measurementEvent);
}

TQGoogleReporter::Parameters
TQGoogleReporter::commonParameters(const QString& trackerId, const QString& type,
                                   const QStringList& dimensions) const {
    Parameters hit;
    hit.insert(QStringLiteral("tid"), trackerId);
    setNullableObject(hit, m_appIdentifier, QStringLiteral("aid"));
    setNullableObject(hit, m_uniqueUserIdentifier, QStringLiteral("cid"));
    setNullableObject(hit, m_appName, QStringLiteral("an"));
    setNullableObject(hit, m_appVersion, QStringLiteral("av"));
    setNullableObject(hit, m_userAgent, QStringLiteral("ua"));
    setNullableObject(hit, m_userLanguage, QStringLiteral("ul"));
    setNullableObject(hit, m_screenResolution, QStringLiteral("sr"));
    hit.insert(QStringLiteral("v"), QString::number(1));
    if (!type.isEmpty())
        hit.insert(QStringLiteral("t"), type);
    for (qsizetype i = 0; i < dimensions.size(); ++i)
        hit.insert(QStringLiteral("cd%1").arg(i + 1), dimensions.at(i));
    if (m_anonymizeIP)
        hit.insert(QStringLiteral("aip"), QString::number(1));
    return hit;
}

QUrl TQGoogleReporter::generateUrl(const Parameters& parameters) const {
    QString text = QStringLiteral("collect?");
    for (auto pair = parameters.cbegin(); pair != parameters.cend(); ++pair) {
        const QByteArray encoded = encodeValue(pair.value());
        text += pair.key() + QLatin1Char('=') + QString::fromLatin1(encoded) + QLatin1Char('&');
    }
    text.chop(1);
    return m_baseURL.resolved(QUrl(text));
}

std::size_t TQGoogleReporter::finishSending(std::chrono::milliseconds budget) {
    return m_sender->finishSending(budget);
}
