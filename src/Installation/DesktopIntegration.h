#pragma once

#include "Installation/Installation.h"

#include <QString>
#include <QStringList>

namespace Platform {
class FileManager;
} // namespace Platform

// The menu entry of an installed product: a desktop entry and its icons in the hicolor theme.
// They go to the user's data folder, or for a product in a machine-wide applications folder to
// the machine-wide one, written by the administrator when that is not the user's to write.
// Each entry names its bundle, so that a removal finds what belongs to a bundle and nothing
// else. Any thread; blocks while the administrator is asked.
class DesktopIntegration {
public:
    DesktopIntegration(Platform::FileManager& files, Installation::PrivilegedRunner runPrivileged);

    // Writes the entry and icons of the bundle at `bundlePath`, in place of an earlier entry of
    // the same bundle. A file of anything else is never overwritten: the entry then takes the
    // next free numbered name. False, with *error saying why, when no entry was written.
    [[nodiscard]] bool add(const QString& bundlePath, QString* error) const;
    // The entries that name `bundlePath`, and their icons.
    [[nodiscard]] QStringList itemsOf(const QString& bundlePath) const;
    // Removes the empty folders above removed `items`, up to their data folder: a removal
    // leaves the data folders as they were before the install.
    void removeEmptyFolders(const QStringList& items) const;
    // Refreshes the desktop's caches of the data folders the user may write to.
    void refreshCaches() const;

private:
    // A file to write, by its path below a data folder.
    struct File {
        QString path;
        QByteArray contents;
    };

    [[nodiscard]] bool mayWrite(const QString& path) const;
    [[nodiscard]] QString freeName(const QString& base, const QString& data,
                                   const QList<int>& iconSizes) const;
    [[nodiscard]] bool write(const QString& data, const QList<File>& files, QString* error) const;
    [[nodiscard]] bool writeAsAdministrator(const QString& data, const QList<File>& files,
                                            QString* error) const;

    Platform::FileManager& m_files;
    Installation::PrivilegedRunner m_runPrivileged;
};
