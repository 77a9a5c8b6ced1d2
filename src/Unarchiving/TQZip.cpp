#include "Unarchiving/TQZip.h"

#include "Unarchiving/TQZipExtraction.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>

namespace {

const QString chmodTool = QStringLiteral("/bin/chmod");

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

bool TQZip::unzipFile(const QUrl& file, const QUrl& destination, bool overwrite,
                      const ProgressHandle& progress, const FileOutputHandle& fileOutputHandle,
                      std::stop_token stop) {
    const QString path = file.toLocalFile();
    if (!QFileInfo::exists(path))
        return false;
    if (QFileInfo(path).suffix() != QLatin1String("zip"))
        return false;
    TQZipExtraction extraction(path, withoutTrailingSlash(destination.toLocalFile()), overwrite,
                               progress, fileOutputHandle, std::move(stop));
    return extraction.run();
}

bool TQZip::changeFilePermissions(const QUrl& fileURL, qint64 permissions) {
    const QString path = fileURL.toLocalFile();
    const QByteArray encoded = QFile::encodeName(path);
    // The mode travels as a signed 16-bit value, as the settable attribute holds it.
    const auto requested = static_cast<qint16>(permissions);
    (void)::chmod(encoded.constData(), static_cast<mode_t>(static_cast<quint16>(requested)));
    struct stat status {};
    if (::stat(encoded.constData(), &status) == 0 &&
        qint64(static_cast<qint16>(status.st_mode & 07777)) == permissions)
        return true;

    if (!QFileInfo::exists(chmodTool))
        return false;
    // A relative path starting with "-" would read as an option.
    const QString argument = path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
    QProcess tool;
    tool.start(chmodTool, {QString::number(static_cast<quint64>(permissions), 8), argument});
    if (!tool.waitForFinished(-1))
        return false;
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}
