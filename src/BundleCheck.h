#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// Checks an installer bundle as a maker made it, before anyone runs it: its settings, images,
// layouts and translations. Reads files only.
class BundleCheck {
public:
    explicit BundleCheck(QString bundlePath);

    // Every problem, one line each starting with the file (relative to Contents) and the key
    // it concerns; empty when the bundle is fine.
    [[nodiscard]] QStringList problems() const;

    // The images a bundle carries and their sizes in points; each also comes at twice the
    // size as <name>@2x.png.
    struct Image {
        const char* name;
        int width;
        int height;
    };
    static const Image images[4];

private:
    void checkSettings(const QString& file, const QVariantMap& settings, bool plain,
                       QStringList& problems) const;
    void checkLocalizedSettings(QStringList& problems) const;
    void checkImages(QStringList& problems) const;
    void checkLayouts(QStringList& problems) const;
    void checkTranslations(QStringList& problems) const;
    void checkTranslation(const QString& file, QStringList& problems) const;

    QString m_contents;
};
