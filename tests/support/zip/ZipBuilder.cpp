#include "ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr uLong unixHost = 3;
constexpr uLong madeByVersion = 20;
constexpr uInt zeroChunk = 1u << 20;

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

// The file functions wrap stdio; while `sparse` is set, written bytes (all zeros) become a
// seek instead, leaving a hole.
struct ZipBuilder::State {
    zlib_filefunc64_def functions{};
    zlib_filefunc64_def stdio{};
    bool sparse = false;
    bool zip64 = false;
    zipFile zip = nullptr;

    static uLong ZCALLBACK write(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
        auto* self = static_cast<State*>(opaque);
        if (self->sparse)
            return fseeko(static_cast<FILE*>(stream), off_t(size), SEEK_CUR) == 0 ? size : 0;
        return self->stdio.zwrite_file(nullptr, stream, buffer, size);
    }
    static voidpf ZCALLBACK open(voidpf opaque, const void* name, int mode) {
        return static_cast<State*>(opaque)->stdio.zopen64_file(nullptr, name, mode);
    }
    static uLong ZCALLBACK read(voidpf opaque, voidpf stream, void* buffer, uLong size) {
        return static_cast<State*>(opaque)->stdio.zread_file(nullptr, stream, buffer, size);
    }
    static ZPOS64_T ZCALLBACK tell(voidpf opaque, voidpf stream) {
        return static_cast<State*>(opaque)->stdio.ztell64_file(nullptr, stream);
    }
    static long ZCALLBACK seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
        return static_cast<State*>(opaque)->stdio.zseek64_file(nullptr, stream, offset, origin);
    }
    static int ZCALLBACK closeFile(voidpf opaque, voidpf stream) {
        return static_cast<State*>(opaque)->stdio.zclose_file(nullptr, stream);
    }
    static int ZCALLBACK error(voidpf opaque, voidpf stream) {
        return static_cast<State*>(opaque)->stdio.zerror_file(nullptr, stream);
    }
};

ZipBuilder::ZipBuilder(const QString& path, bool zip64) : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.zip64 = zip64;
    fill_fopen64_filefunc(&s.stdio);
    s.functions = {State::open, State::read,      State::write, State::tell,
                   State::seek, State::closeFile, State::error, &s};
    const QByteArray encoded = QFile::encodeName(path);
    s.zip = zipOpen2_64(encoded.constData(), APPEND_STATUS_CREATE, nullptr, &s.functions);
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

bool ZipBuilder::addZeros(const QByteArray& name, uint64_t size) {
    if (!m_state->zip)
        return false;
    zip_fileinfo info = entryInfo();
    info.external_fa = uLong(fileMode) << 16;
    uLong crc = 0;
    std::vector<Bytef> zeros(zeroChunk, 0);
    const uLong chunkCrc = crc32(0, zeros.data(), zeroChunk);
    for (uint64_t done = 0; done < size; done += zeroChunk)
        crc = size - done >= zeroChunk ? crc32_combine(crc, chunkCrc, zeroChunk)
                                       : crc32(crc, zeros.data(), uInt(size - done));
    if (zipOpenNewFileInZip4_64(m_state->zip, name.constData(), &info, nullptr, 0, nullptr, 0,
                                nullptr, 0, 0, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, madeByVersion | unixHost << 8, 0, 1) != ZIP_OK)
        return false;
    bool ok = true;
    m_state->sparse = true;
    for (uint64_t done = 0; ok && done < size; done += zeroChunk) {
        const unsigned length = unsigned(std::min<uint64_t>(zeroChunk, size - done));
        ok = zipWriteInFileInZip(m_state->zip, zeros.data(), length) == ZIP_OK;
    }
    m_state->sparse = false;
    return zipCloseFileInZipRaw64(m_state->zip, size, crc) == ZIP_OK && ok;
}

bool ZipBuilder::addFolder(const QString& folder, const QByteArray& prefix) {
    const QFileInfoList items = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    bool ok = true;
    for (const QFileInfo& item : items) {
        const QByteArray name = prefix + QFile::encodeName(item.fileName());
        struct stat status {};
        if (::lstat(QFile::encodeName(item.filePath()).constData(), &status) != 0)
            return false;
        if (S_ISLNK(status.st_mode)) {
            char target[4096];
            const ssize_t length =
                ::readlink(QFile::encodeName(item.filePath()).constData(), target, sizeof target);
            ok = length >= 0 && addLink(name, QByteArray(target, length), status.st_mode) && ok;
        } else if (S_ISDIR(status.st_mode)) {
            ok = addDirectory(name + '/', status.st_mode) && ok;
            ok = addFolder(item.filePath(), name + '/') && ok;
        } else {
            QFile file(item.filePath());
            ok = file.open(QIODevice::ReadOnly) && addFile(name, file.readAll(), status.st_mode) &&
                 ok;
        }
    }
    return ok;
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
