#pragma once

#include "Platform/DirectoryHandle.h"
#include "Unarchiving/TQZip.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <stop_token>

// One run of TQZip::unzipFile over an archive that exists: walks the entry list through the
// unzip interface, writes each entry below the destination and reports progress. Everything it
// opens is released when it returns, on failure too. Runs on the caller's thread.
class TQZipExtraction {
public:
    TQZipExtraction(const QString& archivePath, const QString& destinationPath, bool overwrite,
                    const TQZip::ProgressHandle& progress,
                    const TQZip::FileOutputHandle& fileOutputHandle, std::stop_token stop);
    ~TQZipExtraction();
    TQZipExtraction(const TQZipExtraction&) = delete;
    TQZipExtraction& operator=(const TQZipExtraction&) = delete;

    // True when the entry list was walked to its end; each failure logs its one line.
    [[nodiscard]] bool run();

private:
    struct Entry;
    enum class Step { Next, Skip, Fail };

    [[nodiscard]] Step extractEntry(Entry& entry);
    [[nodiscard]] Step readEntry(Entry& entry);
    [[nodiscard]] Step writeFile(const Entry& entry, uint64_t& written);
    [[nodiscard]] Step readLink(const Entry& entry, QByteArray& target);
    [[nodiscard]] Step closeEntry(const Entry& entry, uint64_t written);
    [[nodiscard]] Step placeLink(const Entry& entry, const QByteArray& target);
    [[nodiscard]] Step restorePermissions(const Entry& entry);
    void report(const Entry& entry) const;

    QString m_archivePath;
    QString m_destinationPath;
    bool m_overwrite;
    const TQZip::ProgressHandle& m_progress;
    const TQZip::FileOutputHandle& m_fileOutputHandle;
    const std::stop_token m_stop;
    Platform::DirectoryHandle m_destination;
    void* m_archive = nullptr;
    bool m_entryOpen = false;
    std::unique_ptr<std::array<char, 4096>> m_buffer;
    // The output file's buffer: far fewer system calls than one write per chunk.
    std::unique_ptr<char[]> m_outputBuffer;
    double m_archiveSize = 0;
    double m_total = 0;
};
