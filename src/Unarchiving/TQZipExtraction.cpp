#include "Unarchiving/TQZipExtraction.h"

#include "Platform/Log.h"
#include "Unarchiving/ZipFileReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>
#include <QtEndian>
#include <algorithm>
#include <system_error>
#include <thread>

namespace {

const char* const noEntryMessage = "解压失败：无法找到压缩包内文件";
const char* const infoMessage = "解压失败：无法读取当前压缩包文件信息";

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

TQZipEntryExtractor::Entry readEntry(unzFile archive, const QString& destinationPath) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        TQZipEntryExtractor::Entry entry;
        entry.failure = infoMessage;
        return entry;
    }
    QByteArray raw(qsizetype(info.size_filename) + 1, '\0');
    (void)unzGetCurrentFileInfo64(archive, nullptr, raw.data(), uLong(raw.size()), nullptr, 0,
                                  nullptr, 0);
    raw.chop(1);
    return TQZipEntryExtractor::describe(info, raw, destinationPath);
}

// What earlier entries did with a path: went through it as a folder, named it as a folder
// (whose mode is then set), or made it anything else (a file, a link, or a folder whose mode
// shuts out the entries below it).
enum PathUse : uint8_t { through = 1, named = 2, taken = 4 };

// Marks the entries that must wait for every earlier one, as they use a path an earlier entry
// used in a clashing way. The others touch no item another one touches but as a folder on the
// way (a link's target is not touched), so any order of writing them gives the tree that archive
// order gives.
void markOrdered(std::vector<TQZipEntryExtractor::Entry>& entries) {
    QHash<QByteArray, uint8_t> uses;
    for (TQZipEntryExtractor::Entry& entry : entries) {
        if (entry.failure)
            continue;
        const std::optional<uint32_t> mode = TQZipEntryExtractor::restoredMode(entry);
        const bool closed = !entry.isDirectory || (mode && (*mode & 0300) != 0300);
        QByteArray path;
        for (qsizetype i = 0; i < entry.components.size(); ++i) {
            if (i > 0)
                path += '/';
            path += entry.components[i];
            const bool last = i + 1 == entry.components.size();
            const uint8_t use = !last ? through : closed ? taken : named;
            const uint8_t clashes = use == through ? taken
                                    : use == named ? named | taken
                                                   : through | named | taken;
            uint8_t& seen = uses[path];
            entry.ordered = entry.ordered || (seen & clashes) != 0;
            seen |= use;
        }
    }
}

bool sameFolder(const TQZipEntryExtractor::Entry& a, const TQZipEntryExtractor::Entry& b) {
    return !a.components.isEmpty() && a.components.size() == b.components.size() &&
           std::equal(a.components.cbegin(), a.components.cend() - 1, b.components.cbegin());
}

} // namespace

TQZipExtraction::TQZipExtraction(const QString& archivePath, const QString& destinationPath,
                                 bool overwrite, const TQZip::ProgressHandle& progress,
                                 const TQZip::FileOutputHandle& fileOutputHandle,
                                 std::stop_token stop, unsigned threads)
    : m_archivePath(archivePath), m_destinationPath(destinationPath), m_overwrite(overwrite),
      m_progress(progress), m_fileOutputHandle(fileOutputHandle), m_stop(std::move(stop)),
      m_threads(std::max(threads, 1u)) {}

bool TQZipExtraction::run() {
    m_archiveSize = double(QFileInfo(m_archivePath).size());
    if (!list())
        return false;
    markOrdered(m_entries);
    divide();
    m_outcomes.assign(m_entries.size(), std::nullopt);

    const std::stop_callback forward(m_stop, [this] { m_halt.request_stop(); });
    std::vector<std::thread> workers;
    try {
        while (m_threads > 1 && workers.size() < std::min<size_t>(m_threads, m_entries.size()))
            workers.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Fewer workers, or none: the caller's thread then writes every entry itself, as it
        // does for one thread.
    }
    const bool done = deliver(workers.empty());
    m_halt.request_stop();
    for (std::thread& worker : workers)
        worker.join();
    return done;
}

// Walks the central directory once; false (logged) when it holds no entry.
bool TQZipExtraction::list() {
    const std::unique_ptr<void, int (*)(unzFile)> archive(ZipFileReader::open(m_archivePath),
                                                          &unzClose);
    if (unzGoToFirstFile(archive.get()) != UNZ_OK) {
        log(noEntryMessage);
        return false;
    }
    for (;;) {
        const ZPOS64_T offset = unzGetOffset64(archive.get());
        m_entries.push_back(readEntry(archive.get(), m_destinationPath));
        Entry& entry = m_entries.back();
        entry.offset = offset;
        if (entry.failure == infoMessage) {
            m_listComplete = true;
            return true;
        }
        const ZPOS64_T next = offset + centralRecordSize + entry.info.size_filename +
                              entry.info.size_file_extra + entry.info.size_file_comment;
        const int advance = unzGoToNextFile(archive.get());
        m_listComplete = advance == UNZ_END_OF_LIST_OF_FILE ||
                         (advance != UNZ_OK && listEndsAt(archive.get(), m_archivePath, next));
        if (advance != UNZ_OK)
            return true;
    }
}

// A worker takes the entries of one folder together, a few megabytes at most: two threads
// making files in one folder queue on its lock, and the one waiting spins instead of
// inflating.
void TQZipExtraction::divide() {
    constexpr size_t mostEntries = 256;
    constexpr ZPOS64_T mostBytes = 8 * 1024 * 1024;
    ZPOS64_T bytes = 0;
    for (size_t index = 0; index < m_entries.size(); ++index) {
        const Entry& entry = m_entries[index];
        const size_t start = m_runStarts.empty() ? 0 : m_runStarts.back();
        if (m_runStarts.empty() || index - start >= mostEntries || bytes >= mostBytes ||
            !sameFolder(m_entries[start], entry)) {
            m_runStarts.push_back(index);
            bytes = 0;
        }
        bytes += entry.info.uncompressed_size;
    }
}

// A worker checks before each entry, never after: every entry before a failing one is then
// written, as in a run in archive order.
void TQZipExtraction::work() {
    TQZipEntryExtractor extractor(m_archivePath, m_destinationPath, m_overwrite);
    const std::stop_token halt = m_halt.get_token();
    for (size_t run = m_nextRun.fetch_add(1); run < m_runStarts.size();
         run = m_nextRun.fetch_add(1)) {
        const size_t end = run + 1 < m_runStarts.size() ? m_runStarts[run + 1] : m_entries.size();
        for (size_t index = m_runStarts[run]; index < end; ++index) {
            if (halt.stop_requested() || index > m_firstFailure.load())
                return;
            if (m_entries[index].ordered)
                continue;
            const Outcome outcome = extractor.extract(m_entries[index]);
            if (outcome.step == TQZipEntryExtractor::Step::Fail)
                failedAt(index);
            publish(index, outcome);
        }
    }
}

void TQZipExtraction::failedAt(size_t index) {
    size_t first = m_firstFailure.load();
    while (index < first && !m_firstFailure.compare_exchange_weak(first, index)) {
    }
}

void TQZipExtraction::publish(size_t index, const Outcome& outcome) {
    {
        const std::lock_guard lock(m_mutex);
        m_outcomes[index] = outcome;
    }
    m_published.notify_one();
}

// No value when the caller asked to stop first.
std::optional<TQZipExtraction::Outcome> TQZipExtraction::awaitOutcome(size_t index) {
    std::unique_lock lock(m_mutex);
    if (!m_published.wait(lock, m_stop, [&] { return m_outcomes[index].has_value(); }))
        return std::nullopt;
    return m_outcomes[index];
}

bool TQZipExtraction::deliver(bool alone) {
    TQZipEntryExtractor own(m_archivePath, m_destinationPath, m_overwrite);
    m_total = 0;
    for (size_t index = 0; index < m_entries.size(); ++index) {
        if (m_stop.stop_requested())
            return false;
        const Entry& entry = m_entries[index];
        const std::optional<Outcome> outcome =
            entry.ordered || alone ? own.extract(entry) : awaitOutcome(index);
        if (!outcome)
            return false;
        m_total += double(entry.info.compressed_size);
        if (outcome->step == TQZipEntryExtractor::Step::Fail) {
            log(outcome->line);
            return false;
        }
        if (outcome->step == TQZipEntryExtractor::Step::Next)
            report(entry);
    }
    if (!m_listComplete) {
        log(noEntryMessage);
        return false;
    }
    if (m_progress)
        m_progress(100.0, 100.0);
    return true;
}

void TQZipExtraction::report(const Entry& entry) const {
    if (m_progress)
        m_progress(std::min(m_total / m_archiveSize * 100.0, 100.0), 100.0);
    if (m_fileOutputHandle)
        m_fileOutputHandle(QUrl::fromLocalFile(entry.targetPath));
}
