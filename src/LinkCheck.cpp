#include "LinkCheck.h"

#include "Extensions/URLExtension.h"
#include "Installation/Installation.h"
#include "TQDownloader.h"

namespace {

// How the installer unpacks a package of this name; null when it cannot.
QString packageKind(const QString& fileName) {
    switch (Installation::packageKind(fileName)) {
    case Installation::PackageKind::Zip:
        return QStringLiteral("ZIP archive");
    case Installation::PackageKind::DiskImage:
        return QStringLiteral("disk image");
    case Installation::PackageKind::Unsupported:
        break;
    }
    return QString();
}

QString yesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

LinkCheck::LinkCheck(QString linkServiceRoot, QString productID, Platform::URLSession& session)
    : m_root(std::move(linkServiceRoot)), m_productID(std::move(productID)), m_session(session) {}

QString LinkCheck::check(int code, QStringList& problems) const {
    const QString link = QStringLiteral("c%1").arg(code);
    const std::function<void(const QString&)> problem = [&](const QString& text) {
        problems += QStringLiteral("Info.plist: LinkServiceURL: %1: %2").arg(link, text);
    };
    // Without a usable root the file check has named the key already.
    const QUrl url = linkServiceURL(m_root, m_productID, code);
    if (url.isEmpty() || url.isRelative())
        return link + QStringLiteral(": no address");
    Platform::URLSessionDownloadOptions refuseBody;
    refuseBody.didReceiveResponse = [](qint64) { return false; };
    const Platform::URLSessionDownloadResult result = m_session.download(url, {}, refuseBody);
    const Platform::URLResponse& response = result.response;
    if (result.error && result.error->kind != Platform::URLSessionError::Kind::Cancelled &&
        result.error->kind != Platform::URLSessionError::Kind::HTTPStatus) {
        problem(result.error->description);
        return QStringLiteral("%1: %2 failed").arg(link, url.toString());
    }
    const QString line =
        QStringLiteral("%1: %2 %3").arg(link).arg(response.statusCode).arg(response.url.toString());
    if (response.statusCode >= 400) {
        problem(QStringLiteral("answered with status %1").arg(response.statusCode));
        return line;
    }
    return code > 2 ? line
                    : line + package(response,
                                     code == 1 ? problem : std::function<void(const QString&)>());
}

// What the installer would make of a package; `problem` (for the one it installs) hears what
// would break the installation.
QString LinkCheck::package(const Platform::URLResponse& response,
                           const std::function<void(const QString&)>& problem) {
    const QString name = TQDownloader::fileNameFor(response.suggestedFilename);
    const QString kind = packageKind(name);
    if (problem && kind.isNull())
        problem(QStringLiteral("\"%1\" ends in neither .zip nor .dmg; the install would fail")
                    .arg(name));
    if (problem && !response.acceptsRanges)
        problem(QStringLiteral("no \"Accept-Ranges: bytes\"; a broken download starts over"));
    if (problem && response.validator.isEmpty())
        problem(QStringLiteral("no strong ETag or Last-Modified; a broken download starts over"));
    return QStringLiteral(", file \"%1\" (%2), ranges: %3, validator: %4")
        .arg(name, kind.isNull() ? QStringLiteral("no package kind") : kind,
             yesNo(response.acceptsRanges), yesNo(!response.validator.isEmpty()));
}
