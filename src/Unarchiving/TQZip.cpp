#include "Unarchiving/TQZip.h"

// Placeholder until ZIP extraction is built.
bool TQZip::unzipFile(const QUrl&, const QUrl&, bool, const ProgressHandle&,
                      const FileOutputHandle&) {
    return false;
}

bool TQZip::changeFilePermissions(const QUrl&, qint64) {
    return false;
}
