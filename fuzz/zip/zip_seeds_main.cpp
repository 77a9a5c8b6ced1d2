#include "ZipSeeds.h"

#include <QCoreApplication>
#include <cstdio>

// Writes the fuzz seed corpus: tq_zip_fuzz_seeds FOLDER
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::printf("%d seeds\n", writeZipSeeds(QString::fromLocal8Bit(argv[1])));
    return 0;
}
