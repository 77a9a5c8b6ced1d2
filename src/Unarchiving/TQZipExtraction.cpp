#include "Unarchiving/TQZipExtraction.h"

#include "Platform/FileWriter.h"
#include "Platform/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUtf8StringView>
#include <QtEndian>
#include <algorithm>
#include <minizip/unzip.h>

namespace {

const char* const noEntryMessage = "解压失败：无法找到压缩包内文件";
const char* const openMessage = "解压失败：无法打开当前压缩包文件";
const char* const infoMessage = "解压失败：无法读取当前压缩包文件信息";
const char* const emptyPathMessage = "解压失败：压缩包文件路径为空";
const char* const writeMessage = "解压失败：读取压缩包文件字节失败";
const char* const closeMessage = "解压失败：无法关闭当前压缩包文件";
const char* const sizeMessage = "解压失败：当前压缩包文件大小与解压文件大小不一致";
const char* const permissionMessage = "解压失败：当前压缩包文件权限设置失败";
const char* const unsafePathMessage = "解压失败：压缩包文件路径不安全";

constexpr unsigned readSize = 4096;
constexpr size_t outputBufferSize = 64 * 1024;
constexpr uLong unixHost = 3;
constexpr uint64_t linkTargetLimit = 4095;
// The file-type bits of a Unix mode, and the type of a symbolic link.
constexpr uint32_t fileTypeMask = 0170000;
constexpr uint32_t symbolicLinkType = 0120000;

void log(const char* message) {
    Platform::Log::write(QString::fromUtf8(message));
}

constexpr ZPOS64_T centralRecordSize = 46;
constexpr qint64 endRecordSize = 22;
constexpr ZPOS64_T unknownCount = 0xffff;

// minizip's writer stores at most 65535 as the entry count, without a ZIP64 record, and its
// reader then meets the end of a longer list only by failing to read past it. That failure is
// the end when the next record would start where the end record says the list ends.
bool listEndsAt(unzFile archive, const QString& archivePath, ZPOS64_T next) {
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(archive, &global) != UNZ_OK || global.number_entry != unknownCount)
        return false;
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly) ||
        !file.seek(file.size() - endRecordSize - qint64(global.size_comment)))
        return false;
    const QByteArray end = file.read(endRecordSize);
    return end.size() == endRecordSize && end.startsWith("PK\x05\x06") &&
           ZPOS64_T(qFromLittleEndian<quint32>(end.constData() + 12)) +
                   qFromLittleEndian<quint32>(end.constData() + 16) ==
               next;
}

} // namespace

struct TQZipExtraction::Entry {
    unz_file_info64 info{};
    QByteArrayList components;
    QString targetPath;
    bool isDirectory = false;
    bool isLink = false;

    [[nodiscard]] const QByteArray& leaf() const { return components.constLast(); }
};

TQZipExtraction::TQZipExtraction(const QString& archivePath, const QString& destinationPath,
                                 bool overwrite, const TQZip::ProgressHandle& progress,
                                 const TQZip::FileOutputHandle& fileOutputHandle,
                                 std::stop_token stop)
    : m_archivePath(archivePath), m_destinationPath(destinationPath), m_overwrite(overwrite),
      m_progress(progress), m_fileOutputHandle(fileOutputHandle), m_stop(std::move(stop)),
      m_destination(destinationPath) {}

TQZipExtraction::~TQZipExtraction() {
    if (m_entryOpen)
        unzCloseCurrentFile(m_archive);
    if (m_archive)
        unzClose(m_archive);
}

bool TQZipExtraction::run() {
    m_buffer = std::make_unique<std::array<char, readSize>>();
    m_outputBuffer = std::make_unique<char[]>(outputBufferSize);
    m_archiveSize = double(QFileInfo(m_archivePath).size());

    m_archive = unzOpen(QFile::encodeName(m_archivePath).constData());
    if (unzGoToFirstFile(m_archive) != UNZ_OK) {
        log(noEntryMessage);
        return false;
    }
    m_total = 0;
    for (;;) {
        if (m_stop.stop_requested())
            return false;
        Entry entry;
        const Step step = extractEntry(entry);
        if (step == Step::Fail)
            return false;
        const ZPOS64_T next = unzGetOffset64(m_archive) + centralRecordSize +
                              entry.info.size_filename + entry.info.size_file_extra +
                              entry.info.size_file_comment;
        const int advance = unzGoToNextFile(m_archive);
        if (step == Step::Next)
            report(entry);
        if (advance == UNZ_END_OF_LIST_OF_FILE ||
            (advance != UNZ_OK && listEndsAt(m_archive, m_archivePath, next)))
            break;
        if (advance != UNZ_OK) {
            log(noEntryMessage);
            return false;
        }
    }
    if (m_progress)
        m_progress(100.0, 100.0);
    return true;
}

TQZipExtraction::Step TQZipExtraction::extractEntry(Entry& entry) {
    if (unzOpenCurrentFile(m_archive) != UNZ_OK) {
        log(openMessage);
        return Step::Fail;
    }
    m_entryOpen = true;
    if (readEntry(entry) == Step::Fail)
        return Step::Fail;

    const qsizetype folders = entry.components.size() - (entry.isDirectory ? 0 : 1);
    const Platform::DirectoryHandle::Result made =
        m_destination.makeFolders(entry.components, folders);
    if (made != Platform::DirectoryHandle::Result::Done) {
        log(made == Platform::DirectoryHandle::Result::Unsafe ? unsafePathMessage : sizeMessage);
        return Step::Fail;
    }

    if (!entry.isDirectory && !m_overwrite && m_destination.exists(entry.leaf())) {
        m_entryOpen = false;
        unzCloseCurrentFile(m_archive);
        return Step::Skip;
    }

    uint64_t written = 0;
    QByteArray linkTarget;
    if (entry.isLink) {
        if (readLink(entry, linkTarget) == Step::Fail)
            return Step::Fail;
        written = uint64_t(linkTarget.size());
    } else if (!entry.isDirectory && writeFile(entry, written) == Step::Fail) {
        return Step::Fail;
    }
    if (closeEntry(entry, written) == Step::Fail)
        return Step::Fail;
    if (entry.isLink)
        return placeLink(entry, linkTarget);
    return restorePermissions(entry);
}

TQZipExtraction::Step TQZipExtraction::readEntry(Entry& entry) {
    if (unzGetCurrentFileInfo64(m_archive, &entry.info, nullptr, 0, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
        m_entryOpen = false;
        unzCloseCurrentFile(m_archive);
        log(infoMessage);
        return Step::Fail;
    }
    m_total += double(entry.info.compressed_size);

    QByteArray raw(qsizetype(entry.info.size_filename) + 1, '\0');
    (void)unzGetCurrentFileInfo64(m_archive, nullptr, raw.data(), uLong(raw.size()), nullptr, 0,
                                  nullptr, 0);
    raw.chop(1);
    QByteArray name(raw.constData());
    if (name.isEmpty() || !QUtf8StringView(name).isValidUtf8()) {
        log(emptyPathMessage);
        return Step::Fail;
    }
    entry.isDirectory = raw.endsWith('/');
    if (name.contains("/\\"))
        name.replace('\\', '/');

    std::optional<QByteArrayList> components = Platform::DirectoryHandle::components(name);
    if (!components) {
        log(unsafePathMessage);
        return Step::Fail;
    }
    entry.components = std::move(*components);
    while (name.endsWith('/'))
        name.chop(1);
    entry.targetPath = m_destinationPath + QLatin1Char('/') + QString::fromUtf8(name);
    const uint32_t mode = uint32_t(entry.info.external_fa >> 16);
    entry.isLink = !entry.isDirectory && (entry.info.version >> 8) == unixHost &&
                   (mode & fileTypeMask) == symbolicLinkType;
    return Step::Next;
}

TQZipExtraction::Step TQZipExtraction::writeFile(const Entry& entry, uint64_t& written) {
    Platform::DirectoryHandle::Result created{};
    Platform::FileDescriptor descriptor = m_destination.createFile(entry.leaf(), created);
    if (!descriptor.valid()) {
        log(created == Platform::DirectoryHandle::Result::Unsafe ? unsafePathMessage : sizeMessage);
        return Step::Fail;
    }
    Platform::FileWriter output(std::move(descriptor), m_outputBuffer.get(), outputBufferSize);

    const uint64_t budget = entry.info.uncompressed_size;
    int count = 0;
    while ((count = unzReadCurrentFile(m_archive, m_buffer->data(), readSize)) > 0) {
        if (written + uint64_t(count) > budget) {
            log(sizeMessage);
            return Step::Fail;
        }
        if (!output.write(m_buffer->data(), count)) {
            log(writeMessage);
            return Step::Fail;
        }
        written += uint64_t(count);
    }
    if (!output.close()) {
        log(writeMessage);
        return Step::Fail;
    }
    return Step::Next;
}

TQZipExtraction::Step TQZipExtraction::readLink(const Entry& entry, QByteArray& target) {
    int count = 0;
    while ((count = unzReadCurrentFile(m_archive, m_buffer->data(), readSize)) > 0) {
        if (uint64_t(target.size()) + uint64_t(count) > entry.info.uncompressed_size) {
            log(sizeMessage);
            return Step::Fail;
        }
        target.append(m_buffer->data(), count);
        if (uint64_t(target.size()) > linkTargetLimit) {
            log(unsafePathMessage);
            return Step::Fail;
        }
    }
    return Step::Next;
}

TQZipExtraction::Step TQZipExtraction::closeEntry(const Entry& entry, uint64_t written) {
    m_entryOpen = false;
    if (unzCloseCurrentFile(m_archive) == UNZ_CRCERROR) {
        log(closeMessage);
        return Step::Fail;
    }
    if (written != entry.info.uncompressed_size) {
        log(sizeMessage);
        return Step::Fail;
    }
    return Step::Next;
}

TQZipExtraction::Step TQZipExtraction::placeLink(const Entry& entry, const QByteArray& target) {
    if (!Platform::DirectoryHandle::isContainedLink(entry.components, target)) {
        log(unsafePathMessage);
        return Step::Fail;
    }
    if (m_destination.createLink(entry.leaf(), target) != Platform::DirectoryHandle::Result::Done) {
        log(sizeMessage);
        return Step::Fail;
    }
    return Step::Next;
}

TQZipExtraction::Step TQZipExtraction::restorePermissions(const Entry& entry) {
    if (entry.info.external_fa == 0)
        return Step::Next;
    const qint64 mode = qint64((entry.info.external_fa >> 16) & 0777);
    if (!(mode & 0400))
        return Step::Next;
    if (!TQZip::changeFilePermissions(QUrl::fromLocalFile(entry.targetPath), mode)) {
        log(permissionMessage);
        return Step::Fail;
    }
    return Step::Next;
}

void TQZipExtraction::report(const Entry& entry) const {
    if (m_progress)
        m_progress(std::min(m_total / m_archiveSize * 100.0, 100.0), 100.0);
    if (m_fileOutputHandle)
        m_fileOutputHandle(QUrl::fromLocalFile(entry.targetPath));
}
