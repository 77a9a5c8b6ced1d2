#include "BundleCheck.h"

#include "Branding.h"
#include "Extensions/StringExtension.h"
#include "Platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>
#include <optional>

namespace {

const char* const requiredKeys[] = {"CFBundleName",
                                    "CFBundleDisplayName",
                                    "CFBundleIdentifier",
                                    "CFBundleShortVersionString",
                                    "CFBundleExecutable",
                                    "PID",
                                    "InstallApplicationBundleID",
                                    "LinkServiceURL",
                                    "AnalyticsTrackerID"};

const char* const textKeys[] = {"CFBundleName",
                                "CFBundleDisplayName",
                                "CFBundleIdentifier",
                                "CFBundleVersion",
                                "CFBundleShortVersionString",
                                "CFBundleExecutable",
                                "PID",
                                "InstallApplicationBundleID",
                                "CustomerServiceURL",
                                "ProductPageURL",
                                "LinkServiceURL",
                                "AnalyticsBaseURL",
                                "AnalyticsTrackerID",
                                "PackagePublicKey"};

// Addresses the installer opens or sends to, and whether paths are added to them.
const std::pair<const char*, bool> addressKeys[] = {{"CustomerServiceURL", false},
                                                    {"ProductPageURL", false},
                                                    {"LinkServiceURL", true},
                                                    {"AnalyticsBaseURL", true}};

// The outlets each layout must name (the window's and menu bar's, and the dialog's).
const std::pair<const char*, const char*> layouts[] = {
    {"MainMenu",
     "logoImageView iconImageView titleLabel sloganLabel messageTextView installButton "
     "progressBox progressBar progressLabel downloadLabell progressDetailLabel cancelButton "
     "mainMenu aboutMenuItem hideMenuItem quitMenuItem"},
    {"TQDialogBox", "iconImageView titleLabel messageLabel firstButton secondButton thirdButton"}};

QString line(const QString& file, const QString& key, const QString& problem) {
    return key.isEmpty() ? file + QStringLiteral(": ") + problem
                         : file + QStringLiteral(": ") + key + QStringLiteral(": ") + problem;
}

QString addressProblem(const QString& text, bool isRoot) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
        return QStringLiteral("\"%1\" is not an https address").arg(text);
    if (isRoot && !url.path().endsWith(QLatin1Char('/')))
        return QStringLiteral("\"%1\" does not end in \"/\"").arg(text);
    return QString();
}

// The source texts and translations of a translation file; nothing when it is no such file.
std::optional<QList<std::pair<QString, QString>>> readMessages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<std::pair<QString, QString>> messages;
    QXmlStreamReader xml(&file);
    bool isTranslation = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("TS"))
            isTranslation = true;
        else if (xml.name() == QLatin1String("source"))
            messages.append({xml.readElementText(), QString()});
        else if (xml.name() == QLatin1String("translation") && !messages.isEmpty())
            messages.last().second = xml.readElementText();
    }
    if (xml.hasError() || !isTranslation)
        return std::nullopt;
    return messages;
}

} // namespace

const BundleCheck::Image BundleCheck::images[4] = {
    {"icon", 96, 96}, {"logo", 132, 32}, {"dialogIcon", 48, 48}, {"warningIcon", 48, 48}};

BundleCheck::BundleCheck(QString bundlePath)
    : m_contents(bundlePath + QStringLiteral("/Contents")) {}

QStringList BundleCheck::problems() const {
    if (!QFileInfo(m_contents).isDir())
        return {m_contents + QStringLiteral(": missing; not an installer bundle")};
    QStringList problems;
    const std::optional<QVariantMap> settings =
        Platform::PropertyList::dictionaryWithContentsOfFile(m_contents +
                                                             QStringLiteral("/Info.plist"));
    if (!settings)
        problems +=
            line(QStringLiteral("Info.plist"), QString(), QStringLiteral("missing or unreadable"));
    else
        checkSettings(QStringLiteral("Info.plist"), *settings, true, problems);
    checkLocalizedSettings(problems);
    checkImages(problems);
    checkLayouts(problems);
    checkTranslations(problems);
    return problems;
}

void BundleCheck::checkLocalizedSettings(QStringList& problems) const {
    const QDir resources(m_contents + QStringLiteral("/Resources"));
    for (const QString& folder : resources.entryList({QStringLiteral("*.lproj")}, QDir::Dirs)) {
        const QString file = folder + QStringLiteral("/InfoPlist.strings");
        if (!resources.exists(file))
            continue;
        const std::optional<QVariantMap> localized =
            Platform::PropertyList::dictionaryWithContentsOfFile(resources.filePath(file));
        if (!localized)
            problems +=
                line(QStringLiteral("Resources/") + file, QString(), QStringLiteral("unreadable"));
        else
            checkSettings(QStringLiteral("Resources/") + file, *localized, false, problems);
    }
}

void BundleCheck::checkSettings(const QString& file, const QVariantMap& settings, bool plain,
                                QStringList& problems) const {
    for (const char* key : requiredKeys)
        if (plain && !settings.contains(QLatin1String(key)))
            problems += line(file, QLatin1String(key), QStringLiteral("missing"));
    for (const char* key : textKeys) {
        const QVariant value = settings.value(QLatin1String(key));
        if (value.isValid() && value.typeId() != QMetaType::QString)
            problems += line(file, QLatin1String(key), QStringLiteral("is not a text"));
    }
    for (const auto& [key, isRoot] : addressKeys) {
        const QVariant value = settings.value(QLatin1String(key));
        const QString problem = value.typeId() == QMetaType::QString
                                    ? addressProblem(value.toString(), isRoot)
                                    : QString();
        if (!problem.isNull())
            problems += line(file, QLatin1String(key), problem);
    }
    for (const QString& key : Branding::keys()) {
        const QVariant value = settings.value(key);
        const QString problem = value.isValid() ? Branding::problem(key, value) : QString();
        if (!problem.isNull())
            problems += line(file, key, problem);
    }
}

void BundleCheck::checkImages(QStringList& problems) const {
    for (const Image& image : images)
        for (const int scale : {1, 2}) {
            const QString file =
                QStringLiteral("Resources/images/%1%2.png")
                    .arg(QLatin1String(image.name), scale == 2 ? QStringLiteral("@2x") : QString());
            const QSize expected(image.width * scale, image.height * scale);
            const QString wanted =
                QStringLiteral("%1x%2 pixels").arg(expected.width()).arg(expected.height());
            const QSize size = QImageReader(m_contents + QLatin1Char('/') + file).size();
            if (!size.isValid())
                problems +=
                    line(file, QString(),
                         QStringLiteral("missing or not an image; expected %1").arg(wanted));
            else if (size != expected)
                problems += line(file, QString(),
                                 QStringLiteral("%1x%2 pixels; expected %3")
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(wanted));
        }
}

void BundleCheck::checkLayouts(QStringList& problems) const {
    for (const auto& [name, outlets] : layouts) {
        const QString file = QStringLiteral("Resources/%1.ui").arg(QLatin1String(name));
        QFile layout(m_contents + QLatin1Char('/') + file);
        if (!layout.open(QIODevice::ReadOnly)) {
            problems += line(file, QString(), QStringLiteral("missing"));
            continue;
        }
        QSet<QString> named;
        QXmlStreamReader xml(&layout);
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement)
                named.insert(xml.attributes().value(QLatin1String("name")).toString());
        if (xml.hasError()) {
            problems += line(file, QString(), QStringLiteral("not a readable layout"));
            continue;
        }
        for (const QString& outlet : QString::fromLatin1(outlets).split(QLatin1Char(' ')))
            if (!named.contains(outlet))
                problems += line(file, outlet, QStringLiteral("no outlet of this name"));
    }
}

void BundleCheck::checkTranslations(QStringList& problems) const {
    const QDir resources(m_contents + QStringLiteral("/Resources"));
    for (const QString& file :
         resources.entryList({QStringLiteral("Localizable_*.ts")}, QDir::Files))
        checkTranslation(QStringLiteral("Resources/") + file, problems);
}

// Every key of the installer's own table must be there, with a translation that fits it.
void BundleCheck::checkTranslation(const QString& file, QStringList& problems) const {
    const auto messages = readMessages(m_contents + QLatin1Char('/') + file);
    if (!messages) {
        problems += line(file, QString(), QStringLiteral("not a readable translation file"));
        return;
    }
    QSet<QString> keys;
    for (const auto& [source, translation] : *messages) {
        keys.insert(source);
        if (!fitsPattern(translation, source))
            problems += line(file, QStringLiteral("\"%1\"").arg(source),
                             QStringLiteral("the translation \"%1\" has placeholders the text "
                                            "does not have")
                                 .arg(translation));
    }
    static const auto reference = readMessages(QStringLiteral(":/Localizable_zh_CN.ts"));
    for (const auto& [source, translation] :
         reference.value_or(QList<std::pair<QString, QString>>()))
        if (!keys.contains(source))
            problems += line(file, QStringLiteral("\"%1\"").arg(source), QStringLiteral("missing"));
}
