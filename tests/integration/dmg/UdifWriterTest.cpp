#include "DiskImages.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using namespace DiskImages;

QByteArray sevenZip(const QStringList& arguments, int* status) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start("7zz", arguments);
    tool.waitForFinished(60000);
    *status = tool.exitCode();
    return tool.readAll();
}

TEST(UdifWriterTest, SevenZipTestsAndListsEveryKindOfImageWithoutComplaint) {
    const QString volume = bundleVolume();
    // Enough items for the catalog to need index nodes above its leaves.
    QDir().mkpath(volume + "/Many");
    for (int i = 0; i < 400; ++i)
        writeFile(volume + QString("/Many/a rather long file name number %1").arg(i), "x");
    for (const Kind kind : {Kind::HfsZlib, Kind::HfsRaw, Kind::IsoInUdif, Kind::PlainIso}) {
        SCOPED_TRACE(int(kind));
        QString image = pack(volume, kind);
        // Named .dmg, a plain ISO image draws a warning from 7-Zip; the tool names it .iso.
        if (kind == Kind::PlainIso && QFile::rename(image, image + ".iso"))
            image += ".iso";
        int status = -1;
        const QByteArray tested = sevenZip({"t", image}, &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(tested.contains("Everything is Ok")) << tested.toStdString();
        EXPECT_FALSE(tested.contains("Warning")) << tested.toStdString();
        const QByteArray listed = sevenZip({"l", "-slt", image}, &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(listed.contains(kind == Kind::HfsZlib || kind == Kind::HfsRaw ? "Type = HFS"
                                                                                  : "Type = Iso"));
        EXPECT_TRUE(listed.contains("a rather long file name number 399"));
        EXPECT_TRUE(
            listed.contains(QString::fromUtf8("Scribora 书.app/Contents/Linux/scribora").toUtf8()));
    }
}

TEST(UdifWriterTest, TheTrailerDescribesTheDataForkAndThePropertyList) {
    const QByteArray image = readAll(pack(bundleVolume(), Kind::HfsZlib));
    ASSERT_GT(image.size(), 512);
    const char* koly = image.constData() + image.size() - 512;
    EXPECT_EQ(QByteArray(koly, 4), "koly");
    const auto be64 = [](const char* at) { return qFromBigEndian<quint64>(at); };
    const auto be32 = [](const char* at) { return qFromBigEndian<quint32>(at); };
    const quint64 dataLength = be64(koly + 32);
    const quint64 xmlOffset = be64(koly + 216);
    const quint64 xmlLength = be64(koly + 224);
    EXPECT_EQ(xmlOffset, dataLength);
    EXPECT_EQ(xmlOffset + xmlLength + 512, quint64(image.size()));
    EXPECT_EQ(be32(koly + 80), 2u); // CRC-32
    EXPECT_EQ(be32(koly + 88),
              quint32(crc32_z(0, reinterpret_cast<const Bytef*>(image.constData()), dataLength)));
    const QByteArray xml = image.mid(qsizetype(xmlOffset), qsizetype(xmlLength));
    EXPECT_TRUE(xml.contains("<key>blkx</key>"));
    const qsizetype data = xml.indexOf("<data>") + 6;
    const QByteArray mish = QByteArray::fromBase64(xml.mid(data, xml.indexOf("</data>") - data));
    EXPECT_EQ(mish.left(4), "mish");
    EXPECT_EQ(be64(mish.constData() + 16) * 512, be64(koly + 492) * 512);
}

} // namespace
