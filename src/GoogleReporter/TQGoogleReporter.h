#pragma once

#include "GoogleReporter/TQHitSender.h"
#include "GoogleReporter/TQHitTransport.h"
#include "GoogleReporter/TQMeasurementProtocol.h"

#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

// Usage reporting, for first installations only: Measurement Protocol (version 1) hits, and
// with the installer's GA4 keys set each event also as a GA4 event.
// A null QString is an absent value (its key is left out of the hit); an empty one is sent.
// Every operation may be called from any thread; hits go out on the reporter's own sender
// queue, so no call waits for the network.
class TQGoogleReporter {
public:
    using Parameters = QMap<QString, QString>;

    static TQGoogleReporter& shared();

    // A reporter for the installer in the main bundle: reads its settings, the install
    // marker and the client ID now. Hits travel through `transport`; a null one means the
    // system's URL session. Tests make their own reporters; the installer uses shared().
    explicit TQGoogleReporter(std::shared_ptr<TQHitTransport> transport = nullptr);
    ~TQGoogleReporter();
    TQGoogleReporter(const TQGoogleReporter&) = delete;
    TQGoogleReporter& operator=(const TQGoogleReporter&) = delete;

    // The tracker ID for configure(): the installer's "AnalyticsTrackerID" setting, else
    // none when the two GA4 keys are set (only GA4 goes), else the installer's own fixed ID.
    [[nodiscard]] static QString configuredTrackerId();

    void configure(const QString& trackerId);
    void setCustomDimensionArguments(const QStringList& arguments);
    [[nodiscard]] QStringList customDimensionArguments() const;

    // Action and label go out without personal data: the home folder's path becomes "~" and
    // the login name "(user)" wherever they stand alone. Only events go to GA4 as well.
    void event(const QString& category, const QString& action, const QString& label,
               const Parameters& parameters = {});
    void screenView(const QString& name, const Parameters& parameters = {});
    void exception(const QString& description, bool isFatal, const Parameters& parameters = {});
    void session(bool start, const Parameters& parameters = {});
    // Builds the hit of that type (none when the type is empty) and queues it.
    void send(const QString& type, const Parameters& parameters);
    // The hit's address: <baseURL>collect?<key>=<encoded value>&...
    [[nodiscard]] QUrl generateUrl(const Parameters& parameters) const;

    [[nodiscard]] bool quietMode() const { return m_quietMode; }
    void setQuietMode(bool quietMode) { m_quietMode = quietMode; }
    [[nodiscard]] bool usesVendorIdentifier() const { return m_usesVendorIdentifier; }
    void setUsesVendorIdentifier(bool uses) { m_usesVendorIdentifier = uses; }
    [[nodiscard]] bool anonymizeIP() const { return m_anonymizeIP; }
    void setAnonymizeIP(bool anonymize) { m_anonymizeIP = anonymize; }

    // Fixed at creation.
    [[nodiscard]] QUrl baseURL() const { return m_baseURL; }
    [[nodiscard]] bool isEnabled() const { return m_isEnabled; }
    [[nodiscard]] QString formattedVersion() const { return m_formattedVersion; }
    [[nodiscard]] QString userLanguage() const { return m_userLanguage; }
    [[nodiscard]] QString screenResolution() const { return m_screenResolution; }
    [[nodiscard]] QString userAgent() const { return m_userAgent; }
    [[nodiscard]] QString uniqueUserIdentifier() const { return m_uniqueUserIdentifier; }

    // Gives the hits already queued up to `budget` to go out, then drops the rest and
    // stops sending. Called at normal exit (for shared(), when the application object goes).
    // Returns how many queued hits were not sent.
    std::size_t finishSending(std::chrono::milliseconds budget);

    // The install marker: <application support>/<installer identifier>/.GoogleReporter.
    // Any file-system entry there counts.
    [[nodiscard]] bool checkWrapperTag() const;
    // Writes the marker (folders first) unless it is there already.
    void createWrapperTag();

private:
    struct EventTexts {
        QString category;
        QString action;
        QString label;
    };

    void initUserAgent();
    void initUniqueUserIdentifier();
    void initPersonalDataPatterns();
    [[nodiscard]] TQHitSender::MeasurementRequest initMeasurement();
    [[nodiscard]] QString withoutPersonalData(const QString& text) const;
    void send(const QString& type, const Parameters& parameters,
              const std::optional<EventTexts>& texts);
    [[nodiscard]] Parameters commonParameters(const QString& trackerId, const QString& type,
                                              const QStringList& dimensions) const;
    // Null when the lookup gives no folder or the installer has no usable identifier.
    [[nodiscard]] static QString wrapperTagPath();

    QUrl m_baseURL;
    QString m_identifierKey;
    QString m_appName;
    QString m_appIdentifier;
    QString m_appVersion;
    QString m_appBuild;
    QString m_formattedVersion;
    QString m_userLanguage;
    QString m_screenResolution;
    QString m_userAgent;
    QString m_uniqueUserIdentifier;
    bool m_isEnabled = false;
    std::atomic<bool> m_quietMode{true};
    std::atomic<bool> m_usesVendorIdentifier{false};
    std::atomic<bool> m_anonymizeIP{true};
    QRegularExpression m_homePattern;
    QRegularExpression m_loginPattern;
    // Set when GA4 events are sent.
    std::optional<TQMeasurementProtocol::Common> m_measurementCommon;

    // The two configuration calls may meet hits from other threads.
    mutable std::mutex m_mutex;
    QString m_trackerId;
    QStringList m_customDimensionArguments;

    std::unique_ptr<TQHitSender> m_sender;
};
