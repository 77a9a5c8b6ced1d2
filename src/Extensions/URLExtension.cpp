#include "Extensions/URLExtension.h"

#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Platform/Log.h"

#include <QFileInfo>
#include <filesystem>
#include <functional>
#include <system_error>

namespace {

const QString defaultLinkServiceURL = QStringLiteral("https://go.orvanta.com/");

// URLWithString: only a text that is a valid URL as it stands gives a URL.
QUrl urlWithString(const QString& text) {
    if (text.isNull())
        return QUrl();
    QUrl url(text, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}

QUrl settingURL(const QString& key) {
    return urlWithString(Platform::Bundle::main().plainString(key));
}

bool isSinglePathComponent(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(QChar(0));
}

// The directory's path when it names an existing folder, else a null string.
QString folderPath(const QUrl& directory) {
    if (!directory.isLocalFile())
        return QString();
    const QString path = directory.toLocalFile();
    return QFileInfo(path).isDir() ? path : QString();
}

bool existsAt(const QString& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path.toStdString(), error));
}

QString firstFree(const QString& folder, const QString& name,
                  const std::function<QString(long)>& numbered) {
    QString candidate = folder + QLatin1Char('/') + name;
    for (long n = 1; existsAt(candidate); ++n)
        candidate = folder + QLatin1Char('/') + numbered(n);
    return candidate;
}

} // namespace

QUrl linkServiceURL(const QString& root, const QString& pid, qint64 code) {
    return urlWithString(root + QStringLiteral("go.php?pid=%1&m=c%2")
                                    .arg(pid.isNull() ? QString() : pid, QString::number(code)));
}

QUrl customURL(qint64 code) {
    QString root = Platform::Bundle::main().plainString(QStringLiteral("LinkServiceURL"));
    if (root.isEmpty())
        root = defaultLinkServiceURL;
    return linkServiceURL(root, productID(), code);
}

QUrl installPackageURL() {
    return customURL(1);
}
QUrl directDMGPackageURL() {
    return customURL(2);
}
QUrl privacyPolicyURL() {
    return customURL(3);
}
QUrl licenseURL() {
    return customURL(4);
}
QUrl packageSignatureURL() {
    return customURL(5);
}
QUrl customerServiceURL() {
    return settingURL(QStringLiteral("CustomerServiceURL"));
}
QUrl productPageURL() {
    return settingURL(QStringLiteral("ProductPageURL"));
}

QUrl generateUniqueURL(const QString& name, const QUrl& directory) {
    if (!isSinglePathComponent(name))
        return QUrl();
    const QString folder = folderPath(directory);
    if (folder.isNull())
        return QUrl();
    const QString extension = pathExtension(name);
    const QString base = stringByDeletingPathExtension(name);
    return QUrl::fromLocalFile(firstFree(folder, name, [&](long n) {
        if (extension.isEmpty())
            return QStringLiteral("%1 (%2)").arg(name, QString::number(n));
        return QStringLiteral("%1 (%2).%3").arg(base, QString::number(n), extension);
    }));
}

QUrl createUniqueDirectory(const QString& name, const QUrl& directory) {
    if (!isSinglePathComponent(name))
        return QUrl();
    const QString folder = folderPath(directory);
    if (folder.isNull())
        return QUrl();
    const QString base = stringByDeletingPathExtension(name);
    const QString candidate = firstFree(folder, name, [&](long n) {
        return QStringLiteral("%1 (%2)").arg(base, QString::number(n));
    });

    std::error_code error;
    std::filesystem::create_directories(candidate.toStdString(), error);
    if (error) {
        Platform::Log::write(
            QStringLiteral("%1: %2").arg(QStringLiteral("createUniqueDirectory:directory:"),
                                         QString::fromStdString(error.message()) +
                                             QStringLiteral(" (") + candidate + QLatin1Char(')')));
        return QUrl();
    }
    return QUrl::fromLocalFile(candidate);
}
