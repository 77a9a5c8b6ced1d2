// Packs a folder into a disk image: tq_pack_dmg [--raw] [--iso] [--volume-name NAME] FOLDER OUT
//   default  UDIF, zlib chunks, around an HFS+ volume
//   --raw    UDIF with uncompressed chunks
//   --iso    the volume is ISO 9660 with Rock Ridge instead of HFS+
#include "HfsPlusVolume.h"
#include "IsoImage.h"
#include "UdifWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

int usage() {
    std::fputs("usage: tq_pack_dmg [--raw] [--iso] [--volume-name NAME] FOLDER OUTPUT.dmg\n",
               stderr);
    return 2;
}

int failed(const QString& message) {
    std::fprintf(stderr, "tq_pack_dmg: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    UdifWriter::Options options;
    bool iso = false;
    QString volumeName;
    while (!arguments.isEmpty() && arguments.front().startsWith(QLatin1String("--"))) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--raw"))
            options.compression = UdifWriter::Compression::Raw;
        else if (option == QLatin1String("--iso"))
            iso = true;
        else if (option == QLatin1String("--volume-name") && !arguments.isEmpty())
            volumeName = arguments.takeFirst();
        else
            return usage();
    }
    if (arguments.size() != 2)
        return usage();
    const QString folder = arguments[0];
    const QString output = arguments[1];
    if (volumeName.isEmpty())
        volumeName = QFileInfo(folder).fileName();

    QString error;
    if (iso) {
        QTemporaryDir scratch;
        const QString isoPath = scratch.filePath(QStringLiteral("volume.iso"));
        FileVolumeSource volume(isoPath);
        options.partitionName = QStringLiteral("disk image (Apple_ISO : 0)");
        if (!IsoImage::write(folder, volumeName, isoPath, &error))
            return failed(error);
        if (!volume.open() || !UdifWriter::write(volume, output, options, &error))
            return failed(error.isEmpty() ? volume.errorString() : error);
        return 0;
    }
    const auto volume = HfsPlusVolume::fromFolder(folder, volumeName, &error);
    if (!volume || !UdifWriter::write(*volume, output, options, &error))
        return failed(error);
    return 0;
}
