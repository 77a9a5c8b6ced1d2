#pragma once

#include "Unarchiving/TQZip.h"
#include "Unarchiving/TQZipEntryExtractor.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

// One run of TQZip::unzipFile over an archive that exists: lists the entries, has worker
// threads write them (each entry once every earlier entry sharing a path with it is written),
// and reports each entry, logs the first failure and calls back on the caller's thread, all in
// archive order. A failure stops the workers after their current entry, but for the entries
// before it. Everything it opens is released when it returns, on failure too.
class TQZipExtraction {
public:
    TQZipExtraction(const QString& archivePath, const QString& destinationPath, bool overwrite,
                    const TQZip::ProgressHandle& progress,
                    const TQZip::FileOutputHandle& fileOutputHandle, std::stop_token stop,
                    unsigned threads);
    TQZipExtraction(const TQZipExtraction&) = delete;
    TQZipExtraction& operator=(const TQZipExtraction&) = delete;

    // True when every entry was written or skipped; each failure logs its one line.
    [[nodiscard]] bool run();

private:
    using Entry = TQZipEntryExtractor::Entry;
    using Outcome = TQZipEntryExtractor::Outcome;

    [[nodiscard]] bool list();
    void divide();
    void work();
    void failedAt(size_t index);
    void publish(size_t index, const Outcome& outcome);
    [[nodiscard]] std::optional<Outcome> awaitOutcome(size_t index);
    [[nodiscard]] bool deliver(bool alone);
    void report(const Entry& entry) const;

    QString m_archivePath;
    QString m_destinationPath;
    bool m_overwrite;
    const TQZip::ProgressHandle& m_progress;
    const TQZip::FileOutputHandle& m_fileOutputHandle;
    const std::stop_token m_stop;
    unsigned m_threads;
    // Written before the workers start, read only while they run.
    std::vector<Entry> m_entries;
    bool m_listComplete = false;
    // Where each run of entries a worker takes at once begins.
    std::vector<size_t> m_runStarts;
    std::atomic<size_t> m_nextRun = 0;
    // The first entry a worker saw fail; no worker starts a later one.
    std::atomic<size_t> m_firstFailure = SIZE_MAX;
    // Asked by the caller, or once the caller's thread is done.
    std::stop_source m_halt;
    std::mutex m_mutex;
    std::condition_variable_any m_published;
    std::vector<std::optional<Outcome>> m_outcomes;
    double m_archiveSize = 0;
    double m_total = 0;
};
