#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

// Usage reporting: Measurement Protocol hits, for first installations only.
// A null QString is an absent value (its key is left out of the hit); an empty one is sent.
class TQGoogleReporter {
public:
    using Parameters = QMap<QString, QString>;

    static TQGoogleReporter& shared();

    void configure(const QString& trackerId);
    void setCustomDimensionArguments(const QStringList& arguments);
    [[nodiscard]] QStringList customDimensionArguments() const;

    void event(const QString& category, const QString& action, const QString& label,
               const Parameters& parameters = {});

    // The install marker.
    [[nodiscard]] bool checkWrapperTag() const;
    void createWrapperTag();
};
