#include "HfsPlusVolume.h"
#include "Platform/FileManager.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <optional>

namespace {

constexpr quint32 kBlockSize = 4096;
constexpr qsizetype kNodeSize = 4096;
constexpr quint32 kRootFolderID = 2;
constexpr quint32 kFirstUserID = 16;
constexpr quint32 kSecondsFrom1904To1970 = 2082844800u;
constexpr quint16 kFolderType = 040000;
constexpr quint16 kFileType = 0100000;
constexpr quint16 kLinkType = 0120000;
constexpr quint32 kMapBits = (kNodeSize - 256 - 8) * 8;

void put8(QByteArray& bytes, qsizetype at, quint8 value) {
    bytes[at] = char(value);
}
void put16(QByteArray& bytes, qsizetype at, quint16 value) {
    qToBigEndian(value, bytes.data() + at);
}
void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToBigEndian(value, bytes.data() + at);
}
void put64(QByteArray& bytes, qsizetype at, quint64 value) {
    qToBigEndian(value, bytes.data() + at);
}

quint32 hfsTime(qint64 unixSeconds) {
    return quint32(qint64(kSecondsFrom1904To1970) + unixSeconds);
}

enum class Kind { Folder, File, Link };

struct Item {
    Kind kind = Kind::File;
    quint32 id = 0;
    quint32 parent = 0;
    QString name; // decomposed
    QString path;
    QByteArray linkTarget;
    qint64 size = 0;
    quint16 mode = 0;
    quint32 owner = 0;
    quint32 group = 0;
    quint32 time = 0;
    quint32 valence = 0;
    quint32 startBlock = 0;
    quint32 blockCount = 0;
};

QByteArray unicodeName(const QString& name) {
    QByteArray bytes(2 + 2 * name.size(), '\0');
    put16(bytes, 0, quint16(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i)
        put16(bytes, 2 + 2 * i, name.at(i).unicode());
    return bytes;
}

QByteArray catalogKey(quint32 parent, const QString& name) {
    QByteArray key(6, '\0');
    put16(key, 0, quint16(6 + 2 * name.size()));
    put32(key, 2, parent);
    return key + unicodeName(name);
}

void putBsdInfo(QByteArray& record, qsizetype at, const Item& item) {
    put32(record, at, item.owner);
    put32(record, at + 4, item.group);
    put16(record, at + 10, item.mode);
}

void putDates(QByteArray& record, qsizetype at, quint32 time) {
    for (int i = 0; i < 4; ++i)
        put32(record, at + 4 * i, time);
}

QByteArray folderRecord(const Item& item) {
    QByteArray record(88, '\0');
    put16(record, 0, 1);
    put32(record, 4, item.valence);
    put32(record, 8, item.id);
    putDates(record, 12, item.time);
    putBsdInfo(record, 32, item);
    return record;
}

QByteArray fileRecord(const Item& item) {
    QByteArray record(248, '\0');
    put16(record, 0, 2);
    put16(record, 2, 0x0002); // has a thread record
    put32(record, 8, item.id);
    putDates(record, 12, item.time);
    putBsdInfo(record, 32, item);
    if (item.kind == Kind::Link) {
        std::memcpy(record.data() + 48, "slnkrhap", 8);
    }
    put64(record, 88, quint64(item.size));
    put32(record, 88 + 12, item.blockCount);
    put32(record, 88 + 16, item.startBlock);
    put32(record, 88 + 20, item.blockCount);
    return record;
}

QByteArray threadRecord(const Item& item) {
    QByteArray record(8, '\0');
    put16(record, 0, item.kind == Kind::Folder ? 3 : 4);
    put32(record, 4, item.parent);
    return record + unicodeName(item.name);
}

struct Record {
    quint32 parent;
    QString name;
    QByteArray key;
    QByteArray data;
    [[nodiscard]] qsizetype size() const { return key.size() + data.size(); }
};

bool keyLess(const Record& a, const Record& b) {
    if (a.parent != b.parent)
        return a.parent < b.parent;
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](QChar x, QChar y) { return x.unicode() < y.unicode(); });
}

struct Node {
    qint8 kind;
    quint8 height;
    std::vector<const Record*> records;
    quint32 number = 0;
};

QByteArray serializeNode(const Node& node, quint32 forward, quint32 backward) {
    QByteArray bytes(kNodeSize, '\0');
    put32(bytes, 0, forward);
    put32(bytes, 4, backward);
    put8(bytes, 8, quint8(node.kind));
    put8(bytes, 9, node.height);
    put16(bytes, 10, quint16(node.records.size()));
    qsizetype offset = 14;
    for (size_t i = 0; i < node.records.size(); ++i) {
        put16(bytes, kNodeSize - 2 * qsizetype(i + 1), quint16(offset));
        const Record& record = *node.records[i];
        std::memcpy(bytes.data() + offset, record.key.constData(), size_t(record.key.size()));
        std::memcpy(bytes.data() + offset + record.key.size(), record.data.constData(),
                    size_t(record.data.size()));
        offset += record.size();
    }
    put16(bytes, kNodeSize - 2 * qsizetype(node.records.size() + 1), quint16(offset));
    return bytes;
}

std::vector<Node> packLevel(const std::vector<const Record*>& records, qint8 kind, quint8 height) {
    std::vector<Node> nodes;
    qsizetype used = kNodeSize;
    for (const Record* record : records) {
        if (used + record->size() + 2 > kNodeSize - 2) {
            nodes.push_back({kind, height, {}, 0});
            used = 14;
        }
        nodes.back().records.push_back(record);
        used += record->size() + 2;
    }
    return nodes;
}

// A B-tree file: header node 0, leaves from node 1, then each index level above them.
// Index records hold the first key of their child (variable-length index keys).
std::optional<QByteArray> buildTree(const std::vector<Record>& sorted, quint16 maxKeyLength,
                                    quint32 attributes, quint8 compareType) {
    std::vector<const Record*> leafRecords;
    for (const Record& record : sorted)
        leafRecords.push_back(&record);
    std::vector<std::vector<Node>> levels;
    std::vector<std::unique_ptr<Record>> indexRecords;
    if (!leafRecords.empty())
        levels.push_back(packLevel(leafRecords, -1, 1));
    quint32 next = 1;
    while (!levels.empty()) {
        for (Node& node : levels.back())
            node.number = next++;
        if (levels.back().size() == 1)
            break;
        std::vector<const Record*> above;
        for (const Node& child : levels.back()) {
            QByteArray pointer(4, '\0');
            put32(pointer, 0, child.number);
            const Record* first = child.records.front();
            indexRecords.push_back(
                std::make_unique<Record>(Record{first->parent, first->name, first->key, pointer}));
            above.push_back(indexRecords.back().get());
        }
        levels.push_back(packLevel(above, 0, quint8(levels.size() + 1)));
    }
    const quint32 totalNodes = next;
    if (totalNodes > kMapBits)
        return std::nullopt;

    QByteArray header(kNodeSize, '\0');
    put8(header, 8, 1);
    put16(header, 10, 3);
    const qsizetype h = 14;
    put16(header, h, quint16(levels.size()));
    put32(header, h + 2, levels.empty() ? 0 : levels.back().front().number);
    put32(header, h + 6, quint32(sorted.size()));
    put32(header, h + 10, levels.empty() ? 0 : levels.front().front().number);
    put32(header, h + 14, levels.empty() ? 0 : levels.front().back().number);
    put16(header, h + 18, quint16(kNodeSize));
    put16(header, h + 20, maxKeyLength);
    put32(header, h + 22, totalNodes);
    put32(header, h + 26, 0);
    put32(header, h + 32, quint32(totalNodes * kNodeSize));
    put8(header, h + 36, 0);
    put8(header, h + 37, compareType);
    put32(header, h + 38, attributes);
    for (quint32 node = 0; node < totalNodes; ++node)
        header[248 + node / 8] = char(header[248 + node / 8] | char(0x80 >> (node % 8)));
    put16(header, kNodeSize - 2, 14);
    put16(header, kNodeSize - 4, 120);
    put16(header, kNodeSize - 6, 248);
    put16(header, kNodeSize - 8, quint16(kNodeSize - 8));

    QByteArray tree = header;
    for (const std::vector<Node>& level : levels)
        for (size_t i = 0; i < level.size(); ++i)
            tree += serializeNode(level[i], i + 1 < level.size() ? level[i + 1].number : 0,
                                  i > 0 ? level[i - 1].number : 0);
    return tree;
}

// Adds a folder's items depth first; returns how many it holds directly.
std::optional<quint32> walk(const QString& folder, quint32 parentID, std::vector<Item>& items,
                            quint32& nextID, QString* error) {
    quint32 valence = 0;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        Item item;
        item.path = folder + QLatin1Char('/') + name;
        const QFileInfo info(item.path);
        const std::optional<uint> permissions =
            Platform::FileManager::shared().posixPermissionsOfItemAtPath(item.path);
        if (!info.exists() && !info.isSymLink()) {
            *error = QStringLiteral("Cannot read %1").arg(item.path);
            return std::nullopt;
        }
        item.id = nextID++;
        item.parent = parentID;
        item.name = name.normalized(QString::NormalizationForm_D);
        item.owner = info.ownerId();
        item.group = info.groupId();
        item.time = hfsTime(info.lastModified().toSecsSinceEpoch());
        if (info.isSymLink()) {
            item.kind = Kind::Link;
            item.mode = kLinkType | 0777;
            item.linkTarget =
                Platform::FileManager::shared().linkTargetAtPath(item.path).value_or(QByteArray());
            item.size = item.linkTarget.size();
        } else if (info.isDir()) {
            item.kind = Kind::Folder;
            item.mode = quint16(kFolderType | permissions.value_or(0755));
        } else if (info.isFile()) {
            item.mode = quint16(kFileType | permissions.value_or(0644));
            item.size = info.size();
        } else {
            *error = QStringLiteral("Cannot store %1: not a folder, file or link").arg(item.path);
            return std::nullopt;
        }
        ++valence;
        items.push_back(item);
        if (item.kind == Kind::Folder) {
            const size_t index = items.size() - 1;
            const std::optional<quint32> children = walk(item.path, item.id, items, nextID, error);
            if (!children)
                return std::nullopt;
            items[index].valence = *children;
        }
    }
    return valence;
}

QByteArray forkData(quint64 logicalSize, quint32 start, quint32 count) {
    QByteArray fork(80, '\0');
    put64(fork, 0, logicalSize);
    put32(fork, 12, count);
    put32(fork, 16, start);
    put32(fork, 20, count);
    return fork;
}

} // namespace

class HfsPlusLayout {
public:
    static std::unique_ptr<HfsPlusVolume> build(const QString& folder, const QString& volumeName,
                                                QString* error);
};

std::unique_ptr<HfsPlusVolume>
HfsPlusVolume::fromFolder(const QString& folder, const QString& volumeName, QString* error) {
    return HfsPlusLayout::build(folder, volumeName, error);
}

std::unique_ptr<HfsPlusVolume> HfsPlusLayout::build(const QString& folder,
                                                    const QString& volumeName, QString* error) {
    QString failure;
    const auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return nullptr;
    };
    std::vector<Item> items;
    Item root;
    root.kind = Kind::Folder;
    root.id = kRootFolderID;
    root.parent = 1;
    root.name = volumeName.normalized(QString::NormalizationForm_D);
    root.mode = 040755;
    root.time = hfsTime(QDateTime::currentSecsSinceEpoch());
    quint32 nextID = kFirstUserID;
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    const std::optional<quint32> rootValence = walk(folder, root.id, items, nextID, &failure);
    if (!rootValence)
        return fail(failure);
    root.valence = *rootValence;
    items.insert(items.begin(), root);

    // Record sizes do not depend on the extents, so the catalog's size is known before
    // the file data is given its blocks.
    const auto catalogRecords = [&items] {
        std::vector<Record> records;
        for (const Item& item : items) {
            records.push_back({item.parent, item.name, catalogKey(item.parent, item.name),
                               item.kind == Kind::Folder ? folderRecord(item) : fileRecord(item)});
            records.push_back(
                {item.id, QString(), catalogKey(item.id, QString()), threadRecord(item)});
        }
        std::sort(records.begin(), records.end(), keyLess);
        return records;
    };
    const auto sizedCatalog = buildTree(catalogRecords(), 516, 6, 0xBC);
    if (!sizedCatalog)
        return fail(QStringLiteral("Too many items for one catalog map"));
    const quint32 catalogBlocks = quint32(sizedCatalog->size() / kBlockSize);

    quint32 dataBlocks = 0;
    for (const Item& item : items)
        if (item.kind != Kind::Folder)
            dataBlocks += quint32((item.size + kBlockSize - 1) / kBlockSize);
    const quint32 fixedBlocks = 1 + 1 + catalogBlocks + dataBlocks + 1;
    quint32 allocationBlocks = 1;
    while ((fixedBlocks + allocationBlocks + 8 * kBlockSize - 1) / (8 * kBlockSize) >
           allocationBlocks)
        ++allocationBlocks;
    const quint32 totalBlocks = fixedBlocks + allocationBlocks;
    const quint32 extentsStart = 1 + allocationBlocks;
    const quint32 catalogStart = extentsStart + 1;
    quint32 nextBlock = catalogStart + catalogBlocks;

    auto volume = std::unique_ptr<HfsPlusVolume>(new HfsPlusVolume());
    std::vector<HfsPlusVolume::Segment> fileSegments;
    for (Item& item : items) {
        if (item.kind == Kind::Folder) {
            volume->m_folderCount += item.id != kRootFolderID;
            continue;
        }
        ++volume->m_fileCount;
        item.blockCount = quint32((item.size + kBlockSize - 1) / kBlockSize);
        item.startBlock = item.blockCount ? nextBlock : 0;
        nextBlock += item.blockCount;
        if (item.blockCount == 0)
            continue;
        HfsPlusVolume::Segment segment;
        if (item.kind == Kind::Link)
            segment.bytes = item.linkTarget;
        else
            segment.path = item.path;
        segment.contentLength = item.size;
        segment.length = qint64(item.blockCount) * kBlockSize;
        fileSegments.push_back(segment);
    }
    const auto catalog = buildTree(catalogRecords(), 516, 6, 0xBC);
    const auto extents = buildTree({}, 10, 2, 0);
    if (!catalog || !extents || catalog->size() != sizedCatalog->size())
        return fail(QStringLiteral("The catalog layout changed while it was built"));

    QByteArray allocation(qsizetype(allocationBlocks) * kBlockSize, '\0');
    for (quint32 block = 0; block < totalBlocks; ++block)
        allocation[block / 8] = char(allocation[block / 8] | char(0x80 >> (block % 8)));

    QByteArray header(512, '\0');
    put16(header, 0, 0x4858); // "HX": case-sensitive HFS+
    put16(header, 2, 5);
    put32(header, 4, 0x100); // cleanly unmounted
    put32(header, 8, 0x31302E30);
    putDates(header, 16, root.time);
    put32(header, 32, quint32(volume->m_fileCount));
    put32(header, 36, quint32(volume->m_folderCount));
    put32(header, 40, kBlockSize);
    put32(header, 44, totalBlocks);
    put32(header, 48, 0);
    put32(header, 52, nextBlock);
    put32(header, 56, 65536);
    put32(header, 60, 65536);
    put32(header, 64, nextID);
    put32(header, 68, 1);
    put64(header, 72, 1);
    header.replace(112, 80, forkData(quint64(allocation.size()), 1, allocationBlocks));
    header.replace(192, 80, forkData(quint64(extents->size()), extentsStart, 1));
    header.replace(272, 80, forkData(quint64(catalog->size()), catalogStart, catalogBlocks));

    QByteArray first(kBlockSize, '\0');
    first.replace(1024, 512, header);
    QByteArray last(kBlockSize, '\0');
    last.replace(kBlockSize - 1024, 512, header);

    auto add = [&](const QByteArray& bytes) {
        volume->m_segments.push_back({bytes, QString(), bytes.size(), bytes.size()});
    };
    add(first);
    add(allocation);
    add(*extents);
    add(*catalog);
    for (HfsPlusVolume::Segment& segment : fileSegments)
        volume->m_segments.push_back(std::move(segment));
    add(last);
    for (const HfsPlusVolume::Segment& segment : volume->m_segments)
        volume->m_size += segment.length;
    if (volume->m_size != qint64(totalBlocks) * kBlockSize)
        return fail(QStringLiteral("The volume layout does not add up"));
    return volume;
}

qint64 HfsPlusVolume::size() const {
    return m_size;
}

bool HfsPlusVolume::read(char* buffer, qint64 length) {
    while (length > 0) {
        if (m_segment >= m_segments.size()) {
            m_error = QStringLiteral("Read past the end of the volume");
            return false;
        }
        const Segment& segment = m_segments[m_segment];
        const qint64 take = qMin(length, segment.length - m_offset);
        const qint64 content = qMax<qint64>(0, qMin(take, segment.contentLength - m_offset));
        if (segment.path.isEmpty()) {
            std::memcpy(buffer, segment.bytes.constData() + m_offset, size_t(content));
        } else {
            if (!m_file) {
                m_file = std::make_unique<QFile>(segment.path);
                if (!m_file->open(QIODevice::ReadOnly)) {
                    m_error = m_file->errorString();
                    return false;
                }
            }
            if (content > 0 && m_file->read(buffer, content) != content) {
                m_error = QStringLiteral("%1 changed while it was packed").arg(segment.path);
                return false;
            }
        }
        std::memset(buffer + content, 0, size_t(take - content));
        buffer += take;
        length -= take;
        m_offset += take;
        if (m_offset == segment.length) {
            m_file.reset();
            ++m_segment;
            m_offset = 0;
        }
    }
    return true;
}
