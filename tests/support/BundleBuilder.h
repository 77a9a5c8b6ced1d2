#pragma once

#include <QString>
#include <QVariantMap>

// Writes bundle directories for tests: <path>/Contents/Info.plist (XML or binary) and,
// on request, localized settings and a program. Writing into the main bundle makes it read
// its settings again.
class BundleBuilder {
public:
    enum class Format { Xml, Binary };

    // Writes the settings dictionary of a bundle at bundlePath (folders are created).
    static void writeInfo(const QString& bundlePath, const QVariantMap& info,
                          Format format = Format::Xml);
    // Writes Contents/Resources/<language>.lproj/InfoPlist.strings.
    static void writeLocalizedInfo(const QString& bundlePath, const QString& language,
                                   const QVariantMap& info);
    // A product bundle with identifier, short version and a program; returns its path.
    static QString writeProduct(const QString& folder, const QString& name,
                                const QString& identifier, const QString& version,
                                Format format = Format::Xml);
    // Raw bytes as the settings file (for malformed settings).
    static void writeRawInfo(const QString& bundlePath, const QByteArray& bytes);
    static QByteArray serialize(const QVariantMap& info, Format format);
};
