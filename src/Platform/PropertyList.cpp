#include "Platform/PropertyList.h"

#include "Platform/PropertyListShape.h"

#include <QFile>
#include <QVariantList>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>

namespace Platform {

namespace {

// A settings file is small and flat; anything larger or deeper is not one of ours, and the
// parser recurses as deep as the list nests.
constexpr qint64 maximumFileSize = 1024 * 1024;
constexpr int maximumDepth = 64;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(char* text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, MallocDeleter>;

QVariant convert(plist_t node);

QVariantMap convertDictionary(plist_t node) {
    QVariantMap map;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    if (!iterator)
        return map;
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &value);
        MallocText key(rawKey);
        if (!value)
            break;
        QVariant converted = convert(value);
        if (key && converted.isValid())
            map.insert(QString::fromUtf8(key.get()), converted);
    }
    std::free(iterator);
    return map;
}

QVariantList convertArray(plist_t node) {
    QVariantList list;
    const uint32_t count = plist_array_get_size(node);
    for (uint32_t i = 0; i < count; ++i) {
        QVariant converted = convert(plist_array_get_item(node, i));
        if (converted.isValid())
            list.append(converted);
    }
    return list;
}

QVariant convert(plist_t node) {
    if (!node)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char* raw = nullptr;
        plist_get_string_val(node, &raw);
        MallocText text(raw);
        return text ? QVariant(QString::fromUtf8(text.get())) : QVariant();
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant(qulonglong(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        MallocText data(raw);
        return QVariant(QByteArray(data.get(), qsizetype(length)));
    }
    case PLIST_ARRAY:
        return convertArray(node);
    case PLIST_DICT:
        return convertDictionary(node);
    default:
        return {};
    }
}

} // namespace

std::optional<QVariantMap> PropertyList::dictionaryWithContentsOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumFileSize)
        return std::nullopt;
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (bytes.isEmpty() || bytes.size() > maximumFileSize ||
        !PropertyListShape::fitsWithin(bytes, maximumDepth))
        return std::nullopt;

    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &raw);
    PlistPointer root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return convertDictionary(root.get());
}

} // namespace Platform
