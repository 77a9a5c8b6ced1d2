// tq_pack_zip ROOT ARCHIVE ENTRY...: packs the entries of ROOT into ARCHIVE.
#include "ZipBuilder.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: tq_pack_zip ROOT ARCHIVE ENTRY...\n");
        return 2;
    }
    QFile::remove(arguments.at(2));
    ZipBuilder archive(arguments.at(2));
    bool ok = archive.isOpen();
    for (const QString& entry : arguments.mid(3))
        ok = ok &&
             archive.addItem(arguments.at(1) + QLatin1Char('/') + entry, QFile::encodeName(entry));
    if (!archive.close() || !ok) {
        std::fprintf(stderr, "tq_pack_zip: cannot pack %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}
