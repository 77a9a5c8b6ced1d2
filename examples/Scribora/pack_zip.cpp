// scribora_pack_zip ROOT ARCHIVE ENTRY...: packs the entries of ROOT into ARCHIVE.
#include "ZipPacker.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: scribora_pack_zip ROOT ARCHIVE ENTRY...\n");
        return 2;
    }
    QString error;
    if (!ZipPacker::pack(arguments.at(1), arguments.mid(3), arguments.at(2), &error)) {
        std::fprintf(stderr, "scribora_pack_zip: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
