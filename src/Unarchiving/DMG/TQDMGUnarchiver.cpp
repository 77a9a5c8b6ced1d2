#include "Unarchiving/DMG/TQDMGUnarchiver.h"

// Placeholder until disk-image extraction is built.
bool TQDMGUnarchiver::unarchiveFile(const QUrl&, const QUrl&, const ProgressHandle&,
                                    const FileOutputHandle&) {
    return false;
}
