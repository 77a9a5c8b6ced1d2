#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Writes ZIP archives through minizip's zip interface, with Unix modes and link types in the
// external attributes, and knobs to make entries lie about their CRC or size. Packs the sample
// product as makers ship it, and writes the archives of tests, fuzz seeds and benchmarks.
class ZipBuilder {
public:
    static constexpr uint32_t fileMode = 0100644;
    static constexpr uint32_t programMode = 0100755;
    static constexpr uint32_t directoryMode = 040755;
    static constexpr uint32_t linkMode = 0120755;
    static constexpr uint32_t fileType = 0100000;
    static constexpr uint32_t folderType = 040000;

    struct Entry {
        // mode: full st_mode (type and permission bits) stored as Unix attributes; without it
        // the entry has external attributes 0 and a DOS host. crc and uncompressedSize are
        // recorded instead of the real values when given (the data is stored as it stands).
        Entry(QByteArray name, QByteArray data, std::optional<uint32_t> mode = fileMode,
              bool compress = true, std::optional<uint32_t> crc = std::nullopt,
              std::optional<uint64_t> uncompressedSize = std::nullopt)
            : name(std::move(name)), data(std::move(data)), mode(mode), compress(compress),
              crc(crc), uncompressedSize(uncompressedSize) {}

        QByteArray name; // raw bytes, not checked
        QByteArray data;
        std::optional<uint32_t> mode;
        bool compress;
        std::optional<uint32_t> crc;
        std::optional<uint64_t> uncompressedSize;
    };

    // Opens path for writing; zip64 forces ZIP64 records for every entry. A leading hole of
    // that many bytes (sparse, costing no disk) comes before the archive, whose offsets then
    // count from the start of the file: how archives beyond 4 GiB are made cheaply.
    explicit ZipBuilder(const QString& path, bool zip64 = false, uint64_t leadingHole = 0);
    ~ZipBuilder();
    ZipBuilder(const ZipBuilder&) = delete;
    ZipBuilder& operator=(const ZipBuilder&) = delete;

    [[nodiscard]] bool isOpen() const;
    bool add(const Entry& entry);
    bool addFile(const QByteArray& name, const QByteArray& data, uint32_t mode = fileMode);
    bool addDirectory(const QByteArray& name, uint32_t mode = directoryMode);
    bool addLink(const QByteArray& name, const QByteArray& target, uint32_t mode = linkMode);
    // Adds everything below folder, sorted by name, as entries under prefix (e.g. "Product.app/"),
    // keeping each item's mode; links are stored as links, never followed.
    bool addFolder(const QString& folder, const QByteArray& prefix);
    // Adds the file, link or folder (with all it holds) at path as the entry name.
    bool addItem(const QString& path, const QByteArray& name);
    // Writes the central directory; the archive is complete only after this.
    bool close();

    // One archive in memory of the given entries (for seeds and small tests).
    [[nodiscard]] static QByteArray build(const QString& path, const std::vector<Entry>& entries);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
