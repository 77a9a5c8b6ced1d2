#include "ZipFuzzCheck.h"

#include "Unarchiving/TQZip.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <unistd.h>

namespace {

QSet<QString> names(const QString& folder) {
    const QStringList list = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot);
    return QSet<QString>(list.begin(), list.end());
}

// Archives may leave folders without write or search permission; make the tree removable.
void unlock(const QString& folder) {
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDirIterator it(folder, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink())
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

QString checkLinks(const QString& destination) {
    const QString root = QFileInfo(destination).canonicalFilePath();
    QDirIterator it(destination,
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink())
            continue;
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
        if (length <= 0 || target[0] == '/')
            return QStringLiteral("absolute or unreadable link ") + path;
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (!resolved.isEmpty() && resolved != root && !resolved.startsWith(root + u'/'))
            return QStringLiteral("link leads outside: ") + path + QStringLiteral(" -> ") +
                   QString::fromLocal8Bit(target, length);
    }
    return {};
}

} // namespace

QString extractAndCheck(const QByteArray& archive, const QString& work) {
    if (QFileInfo::exists(work))
        unlock(work);
    QDir(work).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/box"));
    const QString package = work + QStringLiteral("/in.zip");
    QFile file(package);
    if (!file.open(QIODevice::WriteOnly) || file.write(archive) != archive.size())
        return QStringLiteral("cannot write the input");
    file.close();

    const QString destination = work + QStringLiteral("/box/out");
    double last = 0;
    QString problem;
    (void)TQZip::unzipFile(
        QUrl::fromLocalFile(package), QUrl::fromLocalFile(destination), true,
        [&](double value, double total) {
            if (value < last || value > 100.0 || total != 100.0)
                problem = QStringLiteral("progress out of order");
            last = value;
        },
        nullptr);
    if (!problem.isEmpty())
        return problem;
    if (names(work) != QSet<QString>{QStringLiteral("box"), QStringLiteral("in.zip")})
        return QStringLiteral("written beside the destination");
    const QSet<QString> box = names(work + QStringLiteral("/box"));
    if (!box.isEmpty() && box != QSet<QString>{QStringLiteral("out")})
        return QStringLiteral("written beside the destination");
    return checkLinks(destination);
}
