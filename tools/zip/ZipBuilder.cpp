#include "ZipBuilder.h"
#include "Platform/FileManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <minizip/zip.h>
#include <zlib.h>

namespace {

constexpr uLong unixHost = 3;
constexpr uLong madeByVersion = 20;

zip_fileinfo entryInfo() {
    zip_fileinfo info{};
    info.tmz_date = {0, 0, 12, 1, 0, 2024};
    return info;
}

QByteArray rawDeflate(const QByteArray& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

} // namespace

struct ZipBuilder::State {
    zipFile zip = nullptr;
    bool zip64 = false;
};

ZipBuilder::ZipBuilder(const QString& path, bool zip64, uint64_t leadingHole)
    : m_state(std::make_unique<State>()) {
    m_state->zip64 = zip64;
    const QByteArray encoded = QFile::encodeName(path);
    int append = APPEND_STATUS_CREATE;
    if (leadingHole > 0) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(leadingHole)))
            return;
        append = APPEND_STATUS_CREATEAFTER;
    }
    m_state->zip = zipOpen64(encoded.constData(), append);
}

ZipBuilder::~ZipBuilder() {
    close();
}

bool ZipBuilder::isOpen() const {
    return m_state->zip != nullptr;
}

bool ZipBuilder::add(const Entry& entry) {
    if (!m_state->zip)
        return false;
    zip_fileinfo info = entryInfo();
    uLong madeBy = madeByVersion;
    if (entry.mode) {
        info.external_fa = uLong(*entry.mode) << 16;
        madeBy |= unixHost << 8;
    }
    const bool raw = entry.crc || entry.uncompressedSize;
    const int method = entry.compress ? Z_DEFLATED : 0;
    const QByteArray payload = raw && entry.compress ? rawDeflate(entry.data) : entry.data;
    const uint64_t size = entry.uncompressedSize.value_or(uint64_t(entry.data.size()));
    const int zip64 = m_state->zip64 || size >= 0xffffffffu ? 1 : 0;
    if (zipOpenNewFileInZip4_64(m_state->zip, entry.name.constData(), &info, nullptr, 0, nullptr, 0,
                                nullptr, method, Z_BEST_SPEED, raw ? 1 : 0, -MAX_WBITS,
                                DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy, 0,
                                zip64) != ZIP_OK)
        return false;
    bool ok = payload.isEmpty() || zipWriteInFileInZip(m_state->zip, payload.constData(),
                                                       unsigned(payload.size())) == ZIP_OK;
    if (raw) {
        const uLong crc = entry.crc.value_or(crc32(
            0, reinterpret_cast<const Bytef*>(entry.data.constData()), uInt(entry.data.size())));
        return zipCloseFileInZipRaw64(m_state->zip, size, crc) == ZIP_OK && ok;
    }
    return zipCloseFileInZip(m_state->zip) == ZIP_OK && ok;
}

bool ZipBuilder::addFile(const QByteArray& name, const QByteArray& data, uint32_t mode) {
    return add({name, data, mode});
}

bool ZipBuilder::addDirectory(const QByteArray& name, uint32_t mode) {
    return add({name, {}, mode});
}

bool ZipBuilder::addLink(const QByteArray& name, const QByteArray& target, uint32_t mode) {
    return add({name, target, mode});
}

bool ZipBuilder::addFolder(const QString& folder, const QByteArray& prefix) {
    const QFileInfoList items = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    bool ok = true;
    for (const QFileInfo& item : items)
        ok = addItem(item.filePath(), prefix + QFile::encodeName(item.fileName())) && ok;
    return ok;
}

bool ZipBuilder::addItem(const QString& path, const QByteArray& name) {
    const Platform::FileManager& files = Platform::FileManager::shared();
    const QFileInfo item(path);
    if (item.isSymLink()) {
        const std::optional<QByteArray> target = files.linkTargetAtPath(path);
        return target && addLink(name, *target, linkMode | 0777);
    }
    const std::optional<uint> permissions = files.posixPermissionsOfItemAtPath(path);
    if (!permissions)
        return false;
    if (item.isDir())
        return addDirectory(name + '/', folderType | *permissions) && addFolder(path, name + '/');
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && addFile(name, file.readAll(), fileType | *permissions);
}

bool ZipBuilder::close() {
    if (!m_state->zip)
        return false;
    const bool ok = zipClose(m_state->zip, nullptr) == ZIP_OK;
    m_state->zip = nullptr;
    return ok;
}

QByteArray ZipBuilder::build(const QString& path, const std::vector<Entry>& entries) {
    {
        ZipBuilder builder(path);
        for (const Entry& entry : entries)
            builder.add(entry);
        builder.close();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
