#include "Unarchiving/ZipFileReader.h"

#include "Platform/FileDescriptor.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr qint64 kWindowSize = 64 * 1024;

// Bytes read ahead from one place of the file.
struct Window {
    qint64 start = 0;
    qint64 length = 0;
    std::unique_ptr<char[]> bytes = std::make_unique<char[]>(kWindowSize);

    [[nodiscard]] bool holds(qint64 position) const {
        return position >= start && position < start + length;
    }
};

// Two windows: one stays on the central directory while the other follows the entries.
struct Stream {
    Platform::FileDescriptor file;
    qint64 size = 0;
    qint64 position = 0;
    Window windows[2];
    int lastUsed = 0;
    bool failed = false;
};

voidpf openFile(voidpf, const void* path, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ || !path)
        return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->file =
        Platform::FileDescriptor::openForReading(QFile::decodeName(static_cast<const char*>(path)));
    stream->size = stream->file.size();
    if (!stream->file.isRegularFile() || stream->size < 0)
        return nullptr;
    return stream.release();
}

// False at the end of the file or on a failure (remembered for minizip's error check).
bool fill(Stream& stream, Window& window) {
    const qint64 count = stream.file.readAt(stream.position, window.bytes.get(), kWindowSize);
    stream.failed = stream.failed || count < 0;
    window.start = stream.position;
    window.length = std::max<qint64>(count, 0);
    return count > 0;
}

uLong readFile(voidpf, voidpf opaque, void* buffer, uLong size) {
    Stream& stream = *static_cast<Stream*>(opaque);
    char* out = static_cast<char*>(buffer);
    qint64 done = 0;
    while (done < qint64(size)) {
        const qint64 wanted = qint64(size) - done;
        const int held = stream.windows[0].holds(stream.position)   ? 0
                         : stream.windows[1].holds(stream.position) ? 1
                                                                    : -1;
        if (held < 0 && wanted >= kWindowSize / 4) {
            // Large reads go straight to the caller's buffer.
            const qint64 count = stream.file.readAt(stream.position, out + done, wanted);
            stream.failed = stream.failed || count < 0;
            if (count <= 0)
                break;
            done += count;
            stream.position += count;
            continue;
        }
        if (held < 0 && !fill(stream, stream.windows[1 - stream.lastUsed]))
            break;
        stream.lastUsed = held < 0 ? 1 - stream.lastUsed : held;
        const Window& window = stream.windows[stream.lastUsed];
        const qint64 count = std::min(wanted, window.start + window.length - stream.position);
        std::memcpy(out + done, window.bytes.get() + (stream.position - window.start),
                    size_t(count));
        done += count;
        stream.position += count;
    }
    return uLong(done);
}

uLong writeFile(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T tellFile(voidpf, voidpf opaque) {
    return ZPOS64_T(static_cast<Stream*>(opaque)->position);
}

long seekFile(voidpf, voidpf opaque, ZPOS64_T offset, int origin) {
    Stream& stream = *static_cast<Stream*>(opaque);
    const qint64 base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                        : origin == ZLIB_FILEFUNC_SEEK_CUR ? stream.position
                        : origin == ZLIB_FILEFUNC_SEEK_END ? stream.size
                                                           : -1;
    if (base < 0 || offset > ZPOS64_T(std::numeric_limits<qint64>::max() - base))
        return -1;
    stream.position = base + qint64(offset);
    return 0;
}

int closeFile(voidpf, voidpf opaque) {
    delete static_cast<Stream*>(opaque);
    return 0;
}

int fileError(voidpf, voidpf opaque) {
    return static_cast<Stream*>(opaque)->failed ? 1 : 0;
}

} // namespace

unzFile ZipFileReader::open(const QString& path) {
    zlib_filefunc64_def functions{openFile, readFile,  writeFile, tellFile,
                                  seekFile, closeFile, fileError, nullptr};
    return unzOpen2_64(QFile::encodeName(path).constData(), &functions);
}
