#pragma once

#include <QString>
#include <QStringList>

// Packs folders into a ZIP archive the way a product maker ships a bundle: one entry per
// folder, file and symbolic link (the link's target as its content), each with its Unix
// mode, so an unpacker can restore links and executable bits.
class ZipPacker {
public:
    // Packs the items named by `entries` (paths relative to `root`, each packed with all it
    // holds, in the given order) into a new archive at `archive`. An empty list makes an
    // empty archive. False, with *error set, when anything could not be read or written.
    [[nodiscard]] static bool pack(const QString& root, const QStringList& entries,
                                   const QString& archive, QString* error);
};
