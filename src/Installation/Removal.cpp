#include "Installation/Removal.h"

#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Installation/DesktopIntegration.h"
#include "Platform/Bundle.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"

#include <QFileInfo>

namespace {

const QString rememberedKey = QStringLiteral("ApplicationInstallDirectory");

} // namespace

Removal::Removal(Platform::FileManager& files, Installation::PrivilegedRunner runPrivileged)
    : m_files(files), m_runPrivileged(std::move(runPrivileged)) {}

QString Removal::productName() {
    const QString name = bundleDisplayName();
    return name.isEmpty() ? Installation::installAppBundleID() : name;
}

QString Removal::target(QString* refusal) const {
    const QString remembered = Platform::UserDefaults::standard().stringForKey(rememberedKey);
    if (remembered.isEmpty()) {
        *refusal = localized(QStringLiteral("No copy of %1 installed by this installer was found."))
                       .arg(productName());
        return QString();
    }
    if (!m_files.itemExistsAtPath(remembered)) {
        *refusal = localized(QStringLiteral("%1 is no longer at %2: it was moved or removed. "
                                            "Nothing was removed."))
                       .arg(productName(), remembered);
        return QString();
    }
    const QString identifier = Platform::Bundle(remembered).bundleIdentifier();
    if (identifier != Installation::installAppBundleID()) {
        *refusal = localized(QStringLiteral("%1 now holds another application (%2), not the "
                                            "%3 this installer put there. Nothing was removed."))
                       .arg(remembered, identifier.isEmpty() ? QStringLiteral("-") : identifier,
                            productName());
        return QString();
    }
    return remembered;
}

bool Removal::remove(const QString& bundlePath, QString* message) const {
    const DesktopIntegration desktop(m_files, m_runPrivileged);
    const QStringList items = QStringList{bundlePath} + desktop.itemsOf(bundlePath);
    Platform::Log::write(QStringLiteral("Removing %1").arg(items.join(QStringLiteral(", "))));
    QStringList ownItems;
    QStringList administratorItems;
    for (const QString& item : items)
        (m_files.isWritableFileAtPath(QFileInfo(item).path()) ? ownItems : administratorItems)
            << item;
    if (!administratorItems.isEmpty() && !removeAsAdministrator(administratorItems)) {
        *message = localized(QStringLiteral("%1 was not removed: the administrator's approval "
                                            "was not given or the removal failed."))
                       .arg(bundlePath);
        return false;
    }
    for (const QString& item : ownItems) {
        QString error;
        if (!m_files.removeItemAtPath(item, &error)) {
            Platform::Log::write(error);
            *message = error;
            return false;
        }
        Platform::Log::write(QStringLiteral("Removed %1").arg(item));
    }
    desktop.removeEmptyFolders(items.mid(1));
    (void)Platform::UserDefaults::standard().removeObjectForKey(rememberedKey);
    Platform::Log::write(QStringLiteral("Forgot %1").arg(rememberedKey));
    desktop.refreshCaches();
    *message = localized(QStringLiteral("%1 was removed.")).arg(bundlePath);
    return true;
}

bool Removal::removeAsAdministrator(const QStringList& items) const {
    const int status =
        m_runPrivileged(QStringLiteral("/bin/rm"),
                        QStringList{QStringLiteral("-rf"), QStringLiteral("--")} + items);
    const bool left = std::any_of(items.cbegin(), items.cend(), [&](const QString& item) {
        return m_files.itemExistsAtPath(item);
    });
    Platform::Log::write(QStringLiteral("The administrator's removal ended with %1%2")
                             .arg(status)
                             .arg(left ? QStringLiteral(", leaving items behind") : QString()));
    return status == 0 && !left;
}
