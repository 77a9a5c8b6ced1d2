#include "Installation/Installation.h"

#include "Branding.h"
#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Platform/Bundle.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/SearchPaths.h"
#include "Platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <limits>
#include <system_error>

namespace {

// integerValue: optional blanks and sign, then the leading digits; 0 without digits.
// Numbers beyond 64 bits saturate.
qint64 integerValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    // The magnitude of the lowest value is one more than that of the highest.
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1 : 0);
    quint64 magnitude = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
         ++i) {
        const quint64 digit = quint64(text.at(i).unicode() - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

QStringList components(const QString& version) {
    return version.isNull() ? QStringList() : version.split(QLatin1Char('.'));
}

bool fileExistsAtPath(const QString& path) {
    return QFileInfo::exists(path);
}

bool isExecutableFileAtPath(const QString& path) {
    return !path.isEmpty() && Platform::FileManager::shared().isExecutableFileAtPath(path);
}

// A copy that was cut short may hold its settings but not its program, and a copy still being
// built lives under a hidden ".partial-" name; neither can be launched.
bool isComplete(const Platform::Bundle& bundle) {
    const QString name = QFileInfo(bundle.bundlePath()).fileName();
    if (name.startsWith(QLatin1Char('.')) && name.contains(QStringLiteral(".partial-")))
        return false;
    const QString program = bundle.executablePath();
    return !program.isEmpty() && QFileInfo(program).isFile() && isExecutableFileAtPath(program);
}

} // namespace

void Installation::offerLaunch(const QUrl& applicationURL) {
    m_applicationURL = applicationURL;
    if (m_view)
        m_view->setInstallButtonTitle(localized(QStringLiteral("Launch")));
}

QString Installation::installAppBundleID() {
    const QString identifier = ::installAppBundleID();
    return identifier.isNull() ? QStringLiteral("com.orvanta.Scribora") : identifier;
}

qint64 Installation::compare(const QString& a, const QString& b) {
    const QStringList first = components(a);
    const QStringList second = components(b);
    for (qsizetype i = 0; i < first.size(); ++i) {
        if (i >= second.size())
            return -1;
        const qint64 x = integerValue(first.at(i));
        const qint64 y = integerValue(second.at(i));
        if (x > y)
            return -1;
        if (x < y)
            return 1;
    }
    return second.size() > first.size() ? 1 : 0;
}

bool Installation::isScriboraApplication(const QUrl& url) {
    const QString path = url.toLocalFile();
    if (path.isEmpty() || !fileExistsAtPath(path))
        return false;
    const std::optional<Platform::Bundle> bundle = Platform::Bundle::bundleWithPath(path);
    if (!bundle)
        return false;
    const QString identifier = bundle->bundleIdentifier();
    if (identifier.isNull() || identifier != installAppBundleID())
        return false;
    const qint64 order = compare(bundleShortVersion(*bundle), Branding::minimumVersion());
    return (order == -1 || order == 0) && isComplete(*bundle);
}

void Installation::checkStandardApplicationHasInstalled(Platform::ApplicationsFolder applications) {
    const QString folder = Platform::SearchPaths::shared().applicationDirectory(applications);
    if (folder.isNull())
        return;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& entry : entries) {
        const QUrl candidate = QUrl::fromLocalFile(folder + QLatin1Char('/') + entry);
        if (!isScriboraApplication(candidate))
            continue;
        offerLaunch(candidate);
        return;
    }
}

void Installation::checkApplicationHasInstalled() {
    const QString remembered = Platform::UserDefaults::standard().stringForKey(
        QStringLiteral("ApplicationInstallDirectory"));
    if (isExecutableFileAtPath(remembered) &&
        isScriboraApplication(QUrl::fromLocalFile(remembered))) {
        offerLaunch(QUrl::fromLocalFile(remembered));
        return;
    }
    checkStandardApplicationHasInstalled(Platform::ApplicationsFolder::System);
    if (m_applicationURL.isEmpty())
        checkStandardApplicationHasInstalled(Platform::ApplicationsFolder::User);
}

QUrl Installation::applicationURL() const {
    const Platform::SearchPaths& paths = Platform::SearchPaths::shared();
    const QString local = paths.applicationDirectory(Platform::ApplicationsFolder::Local);
    if (local.isNull())
        return QUrl();
    if (fileExistsAtPath(local))
        return QUrl::fromLocalFile(local);
    const QString user = paths.applicationDirectory(Platform::ApplicationsFolder::User);
    if (user.isNull())
        return QUrl();
    if (!fileExistsAtPath(user)) {
        std::error_code error;
        std::filesystem::create_directories(user.toStdString(), error);
        if (error) {
            Platform::Log::write(QStringLiteral("Cannot create the folder %1: %2")
                                     .arg(user, QString::fromStdString(error.message())));
            return QUrl();
        }
    }
    return QUrl::fromLocalFile(user);
}
