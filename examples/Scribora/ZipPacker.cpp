#include "ZipPacker.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <climits>
#include <ctime>
#include <memory>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uLong unixVersionMadeBy = (3u << 8) | 20u;

struct ZipCloser {
    void operator()(zipFile file) const { zipClose(file, nullptr); }
};
using ZipHandle = std::unique_ptr<std::remove_pointer_t<zipFile>, ZipCloser>;

class Packer {
public:
    Packer(zipFile zip, QString root) : m_zip(zip), m_root(std::move(root)) {}

    bool add(const QString& relative) {
        const QString path = m_root + QLatin1Char('/') + relative;
        struct stat info {};
        if (lstat(QFile::encodeName(path).constData(), &info) != 0)
            return fail(QStringLiteral("cannot read %1").arg(path));
        if (S_ISLNK(info.st_mode))
            return write(relative, info, readLink(path));
        if (S_ISDIR(info.st_mode))
            return addFolder(relative, info);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot open %1").arg(path));
        return write(relative, info, file.readAll());
    }

    [[nodiscard]] QString error() const { return m_error; }

private:
    bool addFolder(const QString& relative, const struct stat& info) {
        if (!write(relative + QLatin1Char('/'), info, QByteArray()))
            return false;
        const QStringList children =
            QDir(m_root + QLatin1Char('/') + relative)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
        for (const QString& child : children) {
            if (!add(relative + QLatin1Char('/') + child))
                return false;
        }
        return true;
    }

    // The link's target exactly as stored in the link, not resolved.
    static QByteArray readLink(const QString& path) {
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length =
            readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
        return length < 0 ? QByteArray() : target.left(length);
    }

    // The entry keeps the item's mode and its local modification time.
    bool write(const QString& name, const struct stat& item, const QByteArray& content) {
        zip_fileinfo info{};
        info.external_fa = uLong(item.st_mode) << 16;
        struct tm local {};
        const time_t modified = std::max<time_t>(item.st_mtime, 315532800); // ZIP's 1980 epoch
        localtime_r(&modified, &local);
        info.tmz_date = {uInt(local.tm_sec),  uInt(local.tm_min), uInt(local.tm_hour),
                         uInt(local.tm_mday), uInt(local.tm_mon), uInt(local.tm_year + 1900)};
        const QByteArray encoded = name.toUtf8();
        if (zipOpenNewFileInZip4_64(m_zip, encoded.constData(), &info, nullptr, 0, nullptr, 0,
                                    nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                                    DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                    unixVersionMadeBy, 1u << 11, 0) != ZIP_OK)
            return fail(QStringLiteral("cannot add %1").arg(name));
        const bool written =
            content.isEmpty() ||
            zipWriteInFileInZip(m_zip, content.constData(), unsigned(content.size())) == ZIP_OK;
        if (zipCloseFileInZip(m_zip) != ZIP_OK || !written)
            return fail(QStringLiteral("cannot write %1").arg(name));
        return true;
    }

    bool fail(const QString& error) {
        m_error = error;
        return false;
    }

    zipFile m_zip;
    QString m_root;
    QString m_error;
};

} // namespace

bool ZipPacker::pack(const QString& root, const QStringList& entries, const QString& archive,
                     QString* error) {
    QFile::remove(archive);
    ZipHandle zip(zipOpen64(QFile::encodeName(archive).constData(), APPEND_STATUS_CREATE));
    if (!zip) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(archive);
        return false;
    }
    Packer packer(zip.get(), root);
    for (const QString& entry : entries) {
        if (packer.add(entry))
            continue;
        if (error)
            *error = packer.error();
        return false;
    }
    if (zipClose(zip.release(), nullptr) != ZIP_OK) {
        if (error)
            *error = QStringLiteral("cannot finish %1").arg(archive);
        return false;
    }
    return true;
}
