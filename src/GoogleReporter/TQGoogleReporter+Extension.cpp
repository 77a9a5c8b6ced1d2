#include "GoogleReporter/TQGoogleReporter.h"

#include "Extensions/BundleExtension.h"
#include "Platform/Log.h"
#include "Platform/SearchPaths.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace {

QString markerFolder() {
    const QString support = Platform::SearchPaths::shared().applicationSupportDirectory();
    const QString identifier = bundleID();
    // An identifier that is not one plain name would put the marker somewhere shared or
    // outside the application support folder.
    if (support.isEmpty() || identifier.isEmpty() || identifier.contains(QLatin1Char('/')) ||
        identifier == QLatin1String(".") || identifier == QLatin1String(".."))
        return QString();
    return QStringLiteral("%1/%2").arg(support, identifier);
}

} // namespace

QString TQGoogleReporter::wrapperTagPath() {
    const QString folder = markerFolder();
    return folder.isNull() ? QString() : QStringLiteral("%1/%2").arg(folder, ".GoogleReporter");
}

bool TQGoogleReporter::checkWrapperTag() const {
    const QString path = wrapperTagPath();
    return !path.isNull() && QFileInfo::exists(path);
}

void TQGoogleReporter::createWrapperTag() {
    if (checkWrapperTag())
        return;
    const QString folder = markerFolder();
    if (folder.isNull())
        return;
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        Platform::Log::write(QStringLiteral("%1: %2").arg(
            QStringLiteral("createWrapperTag"),
            QStringLiteral("Cannot create the folder %1: %2")
                .arg(folder, QString::fromStdString(error.message()))));
    // Only a new file: an entry that appeared meanwhile (or a planted link) is left alone.
    QFile marker(wrapperTagPath());
    if (marker.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        marker.close();
}
