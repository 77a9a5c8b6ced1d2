#include "UdifWriter.h"

#include <QFile>
#include <QSaveFile>
#include <QUuid>
#include <QtEndian>
#include <vector>
#include <zlib.h>

namespace {

constexpr qint64 kSector = 512;
constexpr quint32 kChunkRaw = 0x00000001;
constexpr quint32 kChunkZlib = 0x80000005;
constexpr quint32 kChunkEnd = 0xFFFFFFFF;
constexpr quint32 kChecksumCrc32 = 2;

struct Chunk {
    quint32 type;
    quint64 sector;
    quint64 sectorCount;
    quint64 offset;
    quint64 length;
};

void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToBigEndian(value, bytes.data() + at);
}

void put64(QByteArray& bytes, qsizetype at, quint64 value) {
    qToBigEndian(value, bytes.data() + at);
}

// A CRC-32 checksum field: type, size in bits, then the value in the first of 32 words.
void putChecksum(QByteArray& bytes, qsizetype at, quint32 crc) {
    put32(bytes, at, kChecksumCrc32);
    put32(bytes, at + 4, 32);
    put32(bytes, at + 8, crc);
}

QByteArray mishBlock(const std::vector<Chunk>& chunks, quint64 sectorCount, quint32 crc,
                     qint64 chunkSectors) {
    QByteArray mish(204 + 40 * qsizetype(chunks.size()), '\0');
    put32(mish, 0, 0x6D697368); // "mish"
    put32(mish, 4, 1);
    put64(mish, 8, 0);
    put64(mish, 16, sectorCount);
    put64(mish, 24, 0);
    put32(mish, 32, quint32(chunkSectors + 8));
    putChecksum(mish, 64, crc);
    put32(mish, 200, quint32(chunks.size()));
    qsizetype at = 204;
    for (const Chunk& chunk : chunks) {
        put32(mish, at, chunk.type);
        put64(mish, at + 8, chunk.sector);
        put64(mish, at + 16, chunk.sectorCount);
        put64(mish, at + 24, chunk.offset);
        put64(mish, at + 32, chunk.length);
        at += 40;
    }
    return mish;
}

QByteArray propertyList(const QByteArray& mish, const QString& partitionName) {
    const QByteArray name = partitionName.toHtmlEscaped().toUtf8();
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n<dict>\n"
                      "\t<key>resource-fork</key>\n\t<dict>\n"
                      "\t\t<key>blkx</key>\n\t\t<array>\n\t\t\t<dict>\n"
                      "\t\t\t\t<key>Attributes</key>\n\t\t\t\t<string>0x0050</string>\n"
                      "\t\t\t\t<key>CFName</key>\n\t\t\t\t<string>") +
           name +
           "</string>\n"
           "\t\t\t\t<key>Data</key>\n\t\t\t\t<data>" +
           mish.toBase64() +
           "</data>\n"
           "\t\t\t\t<key>ID</key>\n\t\t\t\t<string>0</string>\n"
           "\t\t\t\t<key>Name</key>\n\t\t\t\t<string>" +
           name + "</string>\n\t\t\t</dict>\n\t\t</array>\n\t</dict>\n</dict>\n</plist>\n";
}

QByteArray kolyTrailer(quint64 dataLength, quint32 dataCrc, quint64 xmlOffset, quint64 xmlLength,
                       quint32 masterCrc, quint64 sectorCount) {
    QByteArray koly(512, '\0');
    put32(koly, 0, 0x6B6F6C79); // "koly"
    put32(koly, 4, 4);
    put32(koly, 8, 512);
    put32(koly, 12, 1); // flattened
    put64(koly, 32, dataLength);
    put32(koly, 56, 1);
    put32(koly, 60, 1);
    const QByteArray id = QUuid::createUuid().toRfc4122();
    std::copy(id.begin(), id.end(), koly.begin() + 64);
    putChecksum(koly, 80, dataCrc);
    put64(koly, 216, xmlOffset);
    put64(koly, 224, xmlLength);
    putChecksum(koly, 352, masterCrc);
    put32(koly, 488, 1);
    put64(koly, 492, sectorCount);
    return koly;
}

quint32 crc32Of(quint32 crc, const char* data, qint64 length) {
    return quint32(::crc32_z(crc, reinterpret_cast<const Bytef*>(data), size_t(length)));
}

} // namespace

bool UdifWriter::write(VolumeSource& volume, const QString& outputPath, const Options& options,
                       QString* error) {
    const auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly))
        return fail(output.errorString());

    const qint64 chunkBytes = options.chunkSectors * kSector;
    QByteArray plain(chunkBytes, '\0');
    QByteArray packed(qsizetype(::compressBound(uLong(chunkBytes))), '\0');
    std::vector<Chunk> chunks;
    quint32 volumeCrc = 0;
    quint32 dataCrc = 0;
    quint64 offset = 0;
    for (qint64 done = 0; done < volume.size();) {
        const qint64 length = qMin(chunkBytes, volume.size() - done);
        if (!volume.read(plain.data(), length))
            return fail(volume.errorString());
        volumeCrc = crc32Of(volumeCrc, plain.constData(), length);
        const char* stored = plain.constData();
        qint64 storedLength = length;
        quint32 type = kChunkRaw;
        uLongf packedLength = uLongf(packed.size());
        if (options.compression == Compression::Zlib &&
            ::compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLength,
                        reinterpret_cast<const Bytef*>(plain.constData()), uLong(length),
                        options.zlibLevel) == Z_OK &&
            qint64(packedLength) < length) {
            stored = packed.constData();
            storedLength = qint64(packedLength);
            type = kChunkZlib;
        }
        if (output.write(stored, storedLength) != storedLength)
            return fail(output.errorString());
        dataCrc = crc32Of(dataCrc, stored, storedLength);
        chunks.push_back({type, quint64(done / kSector), quint64(length / kSector), offset,
                          quint64(storedLength)});
        offset += quint64(storedLength);
        done += length;
    }
    const quint64 sectorCount = quint64(volume.size() / kSector);
    chunks.push_back({kChunkEnd, sectorCount, 0, offset, 0});

    char crcBytes[4];
    qToBigEndian(volumeCrc, crcBytes);
    const quint32 masterCrc = crc32Of(0, crcBytes, 4);
    const QByteArray xml = propertyList(
        mishBlock(chunks, sectorCount, volumeCrc, options.chunkSectors), options.partitionName);
    const QByteArray koly =
        kolyTrailer(offset, dataCrc, offset, quint64(xml.size()), masterCrc, sectorCount);
    if (output.write(xml) != xml.size() || output.write(koly) != koly.size() || !output.commit())
        return fail(output.errorString());
    return true;
}
