#include "Unarchiving/TQZipEntryExtractor.h"

#include "Platform/FileWriter.h"
#include "Unarchiving/TQZip.h"
#include "Unarchiving/ZipFileReader.h"

#include <QUrl>
#include <QUtf8StringView>

namespace {

const char* const openMessage = "解压失败：无法打开当前压缩包文件";
const char* const emptyPathMessage = "解压失败：压缩包文件路径为空";
const char* const writeMessage = "解压失败：读取压缩包文件字节失败";
const char* const closeMessage = "解压失败：无法关闭当前压缩包文件";
const char* const sizeMessage = "解压失败：当前压缩包文件大小与解压文件大小不一致";
const char* const permissionMessage = "解压失败：当前压缩包文件权限设置失败";
const char* const unsafePathMessage = "解压失败：压缩包文件路径不安全";

constexpr unsigned readSize = 64 * 1024;
constexpr size_t outputBufferSize = 64 * 1024;
constexpr uLong unixHost = 3;
constexpr uint64_t linkTargetLimit = 4095;
// The file-type bits of a Unix mode, and the type of a symbolic link.
constexpr uint32_t fileTypeMask = 0170000;
constexpr uint32_t symbolicLinkType = 0120000;

} // namespace

TQZipEntryExtractor::Entry TQZipEntryExtractor::describe(const unz_file_info64& info,
                                                         const QByteArray& raw,
                                                         const QString& destinationPath) {
    Entry entry;
    entry.info = info;
    QByteArray name(raw.constData());
    if (name.isEmpty() || !QUtf8StringView(name).isValidUtf8()) {
        entry.failure = emptyPathMessage;
        return entry;
    }
    entry.isDirectory = raw.endsWith('/');
    if (name.contains("/\\"))
        name.replace('\\', '/');

    std::optional<QByteArrayList> components = Platform::DirectoryHandle::components(name);
    if (!components) {
        entry.failure = unsafePathMessage;
        return entry;
    }
    entry.components = std::move(*components);
    while (name.endsWith('/'))
        name.chop(1);
    entry.targetPath = destinationPath + QLatin1Char('/') + QString::fromUtf8(name);
    const uint32_t mode = uint32_t(info.external_fa >> 16);
    entry.isLink = !entry.isDirectory && (info.version >> 8) == unixHost &&
                   (mode & fileTypeMask) == symbolicLinkType;
    return entry;
}

std::optional<uint32_t> TQZipEntryExtractor::restoredMode(const Entry& entry) {
    const uint32_t mode = uint32_t(entry.info.external_fa >> 16) & 0777;
    if (entry.info.external_fa == 0 || !(mode & 0400))
        return std::nullopt;
    return mode;
}

TQZipEntryExtractor::TQZipEntryExtractor(const QString& archivePath, const QString& destinationPath,
                                         bool overwrite)
    : m_overwrite(overwrite), m_destination(destinationPath),
      m_archive(ZipFileReader::open(archivePath)),
      m_creationMask(Platform::DirectoryHandle::creationMask()),
      m_buffer(std::make_unique<char[]>(readSize)),
      m_outputBuffer(std::make_unique<char[]>(outputBufferSize)) {}

TQZipEntryExtractor::~TQZipEntryExtractor() {
    if (m_entryOpen)
        unzCloseCurrentFile(m_archive);
    if (m_archive)
        unzClose(m_archive);
}

TQZipEntryExtractor::Outcome TQZipEntryExtractor::extract(const Entry& entry) {
    m_line = nullptr;
    const Step step = extractEntry(entry);
    if (m_entryOpen) {
        m_entryOpen = false;
        unzCloseCurrentFile(m_archive);
    }
    return {step, m_line};
}

TQZipEntryExtractor::Step TQZipEntryExtractor::fail(const char* line) {
    m_line = line;
    return Step::Fail;
}

TQZipEntryExtractor::Step TQZipEntryExtractor::extractEntry(const Entry& entry) {
    if (unzSetOffset64(m_archive, entry.offset) != UNZ_OK ||
        unzOpenCurrentFile(m_archive) != UNZ_OK)
        return fail(openMessage);
    m_entryOpen = true;
    if (entry.failure)
        return fail(entry.failure);

    const qsizetype folders = entry.components.size() - (entry.isDirectory ? 0 : 1);
    const Platform::DirectoryHandle::Result made =
        m_destination.makeFolders(entry.components, folders);
    if (made != Platform::DirectoryHandle::Result::Done)
        return fail(made == Platform::DirectoryHandle::Result::Unsafe ? unsafePathMessage
                                                                      : sizeMessage);

    if (!entry.isDirectory && !m_overwrite && m_destination.exists(entry.leaf()))
        return Step::Skip;

    uint64_t written = 0;
    QByteArray linkTarget;
    bool modeGiven = false;
    if (entry.isLink) {
        if (readLink(entry, linkTarget) == Step::Fail)
            return Step::Fail;
        written = uint64_t(linkTarget.size());
    } else if (!entry.isDirectory && writeFile(entry, written, modeGiven) == Step::Fail) {
        return Step::Fail;
    }
    if (closeEntry(entry, written) == Step::Fail)
        return Step::Fail;
    if (entry.isLink)
        return placeLink(entry, linkTarget);
    return modeGiven ? Step::Next : restorePermissions(entry);
}

TQZipEntryExtractor::Step TQZipEntryExtractor::writeFile(const Entry& entry, uint64_t& written,
                                                         bool& modeGiven) {
    const std::optional<uint32_t> mode = restoredMode(entry);
    Platform::DirectoryHandle::Result result{};
    bool created = false;
    Platform::FileDescriptor descriptor =
        m_destination.createFile(entry.leaf(), mode.value_or(0666), result, created);
    if (!descriptor.valid())
        return fail(result == Platform::DirectoryHandle::Result::Unsafe ? unsafePathMessage
                                                                        : sizeMessage);
    // A file made here has its mode from the start unless the creation mask took bits away.
    modeGiven = created && mode && m_creationMask && (*mode & *m_creationMask) == 0;
    Platform::FileWriter output(std::move(descriptor), m_outputBuffer.get(), outputBufferSize);

    const uint64_t budget = entry.info.uncompressed_size;
    int count = 0;
    while ((count = unzReadCurrentFile(m_archive, m_buffer.get(), readSize)) > 0) {
        if (written + uint64_t(count) > budget)
            return fail(sizeMessage);
        if (!output.write(m_buffer.get(), count))
            return fail(writeMessage);
        written += uint64_t(count);
    }
    if (!output.close())
        return fail(writeMessage);
    return Step::Next;
}

TQZipEntryExtractor::Step TQZipEntryExtractor::readLink(const Entry& entry, QByteArray& target) {
    int count = 0;
    while ((count = unzReadCurrentFile(m_archive, m_buffer.get(), readSize)) > 0) {
        if (uint64_t(target.size()) + uint64_t(count) > entry.info.uncompressed_size)
            return fail(sizeMessage);
        target.append(m_buffer.get(), count);
        if (uint64_t(target.size()) > linkTargetLimit)
            return fail(unsafePathMessage);
    }
    return Step::Next;
}

TQZipEntryExtractor::Step TQZipEntryExtractor::closeEntry(const Entry& entry, uint64_t written) {
    m_entryOpen = false;
    if (unzCloseCurrentFile(m_archive) == UNZ_CRCERROR)
        return fail(closeMessage);
    if (written != entry.info.uncompressed_size)
        return fail(sizeMessage);
    return Step::Next;
}

TQZipEntryExtractor::Step TQZipEntryExtractor::placeLink(const Entry& entry,
                                                         const QByteArray& target) {
    if (!Platform::DirectoryHandle::isContainedLink(entry.components, target))
        return fail(unsafePathMessage);
    if (m_destination.createLink(entry.leaf(), target) != Platform::DirectoryHandle::Result::Done)
        return fail(sizeMessage);
    return Step::Next;
}

TQZipEntryExtractor::Step TQZipEntryExtractor::restorePermissions(const Entry& entry) {
    const std::optional<uint32_t> mode = restoredMode(entry);
    if (!mode)
        return Step::Next;
    if (!TQZip::changeFilePermissions(QUrl::fromLocalFile(entry.targetPath), qint64(*mode)))
        return fail(permissionMessage);
    return Step::Next;
}
