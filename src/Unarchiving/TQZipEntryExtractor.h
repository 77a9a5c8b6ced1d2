#pragma once

#include "Platform/DirectoryHandle.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <cstdint>
#include <memory>
#include <minizip/unzip.h>
#include <optional>

// Writes entries of one archive below the destination through a handle on the archive of its
// own, so that one extractor per thread can work on the same archive at once. Logs nothing: a
// failure comes back with its log line.
class TQZipEntryExtractor {
public:
    struct Entry {
        // Where its central record starts, for unzSetOffset64.
        ZPOS64_T offset = 0;
        unz_file_info64 info{};
        QByteArrayList components;
        QString targetPath;
        // The log line of an entry that fails before anything is written, as its name does.
        const char* failure = nullptr;
        bool isDirectory = false;
        bool isLink = false;
        // Extracted only once every earlier entry is, since it shares a path with one of them.
        bool ordered = false;

        [[nodiscard]] const QByteArray& leaf() const { return components.constLast(); }
    };
    enum class Step { Next, Skip, Fail };
    struct Outcome {
        Step step = Step::Next;
        const char* line = nullptr;
    };

    // The entry of a central record and its name as stored.
    [[nodiscard]] static Entry describe(const unz_file_info64& info, const QByteArray& raw,
                                        const QString& destinationPath);
    // The mode restored on the item, when the entry's one is restored.
    [[nodiscard]] static std::optional<uint32_t> restoredMode(const Entry& entry);

    TQZipEntryExtractor(const QString& archivePath, const QString& destinationPath, bool overwrite);
    ~TQZipEntryExtractor();
    TQZipEntryExtractor(const TQZipEntryExtractor&) = delete;
    TQZipEntryExtractor& operator=(const TQZipEntryExtractor&) = delete;

    [[nodiscard]] Outcome extract(const Entry& entry);

private:
    [[nodiscard]] Step extractEntry(const Entry& entry);
    [[nodiscard]] Step writeFile(const Entry& entry, uint64_t& written, bool& modeGiven);
    [[nodiscard]] Step readLink(const Entry& entry, QByteArray& target);
    [[nodiscard]] Step closeEntry(const Entry& entry, uint64_t written);
    [[nodiscard]] Step placeLink(const Entry& entry, const QByteArray& target);
    [[nodiscard]] Step restorePermissions(const Entry& entry);
    [[nodiscard]] Step fail(const char* line);

    bool m_overwrite;
    Platform::DirectoryHandle m_destination;
    unzFile m_archive = nullptr;
    bool m_entryOpen = false;
    const char* m_line = nullptr;
    const std::optional<uint> m_creationMask;
    std::unique_ptr<char[]> m_buffer;
    // The output file's buffer: far fewer system calls than one write per chunk.
    std::unique_ptr<char[]> m_outputBuffer;
};
