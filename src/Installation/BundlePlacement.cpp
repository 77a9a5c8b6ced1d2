#include "Installation/BundlePlacement.h"

#include "Platform/FileManager.h"

#include <QFileInfo>
#include <QRandomGenerator>

namespace {

QString hiddenPrefix(const QString& name) {
    return QLatin1Char('.') + name + QStringLiteral(".partial-");
}

QString hiddenPath(const QString& folder, const QString& name) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 8; ++i)
        suffix +=
            QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)]);
    return folder + QLatin1Char('/') + hiddenPrefix(name) + suffix;
}

} // namespace

void BundlePlacement::removeStaleCopies(const QString& folder, const QString& name) const {
    const QStringList entries = m_files.listDirectory(folder, nullptr).value_or(QStringList());
    for (const QString& entry : entries) {
        if (entry.startsWith(hiddenPrefix(name)))
            (void)m_files.removeItemAtPath(folder + QLatin1Char('/') + entry, nullptr);
    }
}

bool BundlePlacement::copy(const QString& source, const QString& destination, QString* error,
                           std::stop_token stop) const {
    const QString hidden =
        hiddenPath(QFileInfo(destination).absolutePath(), QFileInfo(source).fileName());
    // The file manager removes what a failed or stopped copy had written.
    if (!m_files.copyItemAtPath(source, hidden, error, stop))
        return false;
    if (!stop.stop_requested() && m_files.moveItemAtPath(hidden, destination, error))
        return true;
    (void)m_files.removeItemAtPath(hidden, nullptr);
    return false;
}
