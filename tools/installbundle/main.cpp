// installbundle SOURCE DESTINATION
// Copies the bundle SOURCE to DESTINATION, which must not exist, through a hidden copy beside
// it, so that DESTINATION appears only when complete; hidden copies that interrupted runs left
// there go first. Both paths absolute. Exit status 0 on success, 1 when the copy failed (the
// reason on standard error), 2 when used wrongly.
#include "Installation/BundlePlacement.h"
#include "Platform/FileManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char* argv[]) {
    const QString source = argc == 3 ? QFile::decodeName(argv[1]) : QString();
    const QString destination = argc == 3 ? QFile::decodeName(argv[2]) : QString();
    if (!QDir::isAbsolutePath(source) || !QDir::isAbsolutePath(destination)) {
        std::fputs("usage: installbundle SOURCE DESTINATION (absolute paths)\n", stderr);
        return 2;
    }
    const BundlePlacement placement(Platform::FileManager::shared());
    placement.removeStaleCopies(QFileInfo(destination).absolutePath(),
                                QFileInfo(source).fileName());
    QString error;
    if (placement.copy(source, destination, &error))
        return 0;
    std::fprintf(stderr, "installbundle: %s\n", error.toLocal8Bit().constData());
    return 1;
}
