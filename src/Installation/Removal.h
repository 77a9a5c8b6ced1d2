#pragma once

#include "Installation/Installation.h"

#include <QString>

namespace Platform {
class FileManager;
} // namespace Platform

// Removes the copy of the product this installer installed and remembers
// ("ApplicationInstallDirectory"): the bundle, its menu entries and icons, and the remembered
// path. Never anything else: the bundle must still be where it was put and carry the
// product's bundle identifier. Each step is logged. Any thread; blocks while the administrator
// is asked.
class Removal {
public:
    Removal(Platform::FileManager& files, Installation::PrivilegedRunner runPrivileged);

    // The product's name for people: the installer's display name, else the product's
    // bundle identifier.
    [[nodiscard]] static QString productName();

    // The bundle a removal would take away; null, with *refusal saying why, when there is none
    // it may remove.
    [[nodiscard]] QString target(QString* refusal) const;
    // Removes `bundlePath` (a target()) and what belongs to it. What needs the administrator
    // goes first, in one step, so that a refused prompt removes nothing. *message says what
    // happened; false when anything is left.
    [[nodiscard]] bool remove(const QString& bundlePath, QString* message) const;

private:
    [[nodiscard]] bool removeAsAdministrator(const QStringList& items) const;

    Platform::FileManager& m_files;
    Installation::PrivilegedRunner m_runPrivileged;
};
