#include "Platform/PropertyListShape.h"

#include <QByteArrayView>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace Platform {

namespace {

constexpr qsizetype headerSize = 8;
constexpr qsizetype trailerSize = 32;

quint64 bigEndian(const uchar* at, int width) {
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | at[i];
    return value;
}

// Where the tag starting at `at` ends (its last '>'); -1 when it does not.
qsizetype tagEnd(const QByteArray& bytes, qsizetype at) {
    const QByteArrayView rest = QByteArrayView(bytes).sliced(at);
    const QByteArrayView close = rest.startsWith("<!--")        ? QByteArrayView("-->")
                                 : rest.startsWith("<![CDATA[") ? QByteArrayView("]]>")
                                                                : QByteArrayView(">");
    const qsizetype found = bytes.indexOf(close, at);
    return found < 0 ? -1 : found + close.size() - 1;
}

// The element name at the start of a tag's text: up to a blank, a '/' or the end.
QByteArrayView elementName(QByteArrayView tag) {
    qsizetype length = 0;
    while (length < tag.size() && !QByteArrayView(" \t\r\n/").contains(tag.at(length)))
        ++length;
    return tag.first(length);
}

// Container tags of an XML list; comments, declarations and character data are passed over.
bool xmlFitsWithin(const QByteArray& bytes, int maximumDepth) {
    int depth = 0;
    for (qsizetype at = bytes.indexOf('<'); at >= 0;) {
        const qsizetype end = tagEnd(bytes, at);
        if (end < 0)
            return true; // unterminated: the parser refuses it
        const bool closing = bytes.at(at + 1) == '/';
        const qsizetype start = at + (closing ? 2 : 1);
        const QByteArrayView tag = QByteArrayView(bytes).sliced(start, end - start);
        const QByteArrayView name = elementName(tag);
        if (name == "array" || name == "dict") {
            if (closing)
                depth = std::max(0, depth - 1);
            else if (!tag.endsWith('/') && ++depth > maximumDepth)
                return false;
        }
        at = bytes.indexOf('<', end + 1);
    }
    return true;
}

// The objects of a binary list, read through its trailer and offset table.
class BinaryList {
public:
    explicit BinaryList(const QByteArray& bytes)
        : m_data(reinterpret_cast<const uchar*>(bytes.constData())), m_size(bytes.size()) {}

    [[nodiscard]] bool readTrailer() {
        if (m_size < headerSize + trailerSize)
            return false;
        const uchar* trailer = m_data + m_size - trailerSize;
        m_offsetSize = trailer[6];
        m_referenceSize = trailer[7];
        m_objectCount = bigEndian(trailer + 8, 8);
        m_top = bigEndian(trailer + 16, 8);
        m_tableOffset = bigEndian(trailer + 24, 8);
        const quint64 tableEnd = quint64(m_size - trailerSize);
        return m_offsetSize >= 1 && m_offsetSize <= 8 && m_referenceSize >= 1 &&
               m_referenceSize <= 8 && m_top < m_objectCount &&
               m_tableOffset > quint64(headerSize) && m_tableOffset < tableEnd &&
               m_objectCount <= (tableEnd - m_tableOffset) / quint64(m_offsetSize);
    }

    [[nodiscard]] quint64 objectCount() const { return m_objectCount; }
    [[nodiscard]] quint64 top() const { return m_top; }

    // The references an object holds (none for a value that is not a container); false when
    // the object or its references lie outside the list.
    [[nodiscard]] bool read(quint64 object, bool& container,
                            std::vector<quint64>& references) const {
        references.clear();
        if (object >= m_objectCount)
            return false;
        const quint64 offset =
            bigEndian(m_data + m_tableOffset + object * quint64(m_offsetSize), m_offsetSize);
        if (offset < quint64(headerSize) || offset >= m_tableOffset)
            return false;
        const int type = m_data[offset] >> 4;
        container = type == 0xA || type == 0xC || type == 0xD;
        if (!container)
            return true;
        quint64 count = m_data[offset] & 0xF;
        quint64 at = offset + 1;
        if (count == 0xF) {
            if (at >= m_tableOffset || m_data[at] >> 4 != 0x1 || (m_data[at] & 0xF) > 3)
                return false;
            const int width = 1 << (m_data[at] & 0xF);
            if (++at + quint64(width) > m_tableOffset)
                return false;
            count = bigEndian(m_data + at, width);
            at += quint64(width);
        }
        const quint64 referenceCount = type == 0xD ? count * 2 : count;
        if (count > m_tableOffset || referenceCount * quint64(m_referenceSize) > m_tableOffset - at)
            return false;
        for (quint64 i = 0; i < referenceCount; ++i)
            references.push_back(
                bigEndian(m_data + at + i * quint64(m_referenceSize), m_referenceSize));
        return true;
    }

private:
    const uchar* m_data;
    qsizetype m_size;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_top = 0;
    quint64 m_tableOffset = 0;
};

// Every object is looked at once: a shared one keeps its height and its count of values as a
// tree, so a list built to expand exponentially is measured without being expanded.
class BinaryWalk {
public:
    BinaryWalk(const BinaryList& list, int maximumDepth, quint64 maximumValues)
        : m_list(list), m_maximumDepth(maximumDepth), m_maximumValues(maximumValues),
          m_state(list.objectCount(), State::Unseen), m_height(list.objectCount(), 0),
          m_values(list.objectCount(), 0) {}

    [[nodiscard]] bool run() {
        if (!visit(m_list.top()))
            return false;
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.next < frame.references.size()) {
                if (!visit(frame.references[frame.next++]))
                    return false;
                continue;
            }
            const quint64 object = frame.object;
            m_state[object] = State::Done;
            m_height[object] = frame.childHeight + 1;
            m_values[object] = frame.values;
            m_stack.pop_back();
            if (!m_stack.empty() && !addChild(object))
                return false;
        }
        return true;
    }

private:
    enum class State : uint8_t { Unseen, Open, Done };
    struct Frame {
        quint64 object = 0;
        std::vector<quint64> references;
        size_t next = 0;
        int childHeight = 0;
        quint64 values = 1;
    };

    bool visit(quint64 object) {
        if (object >= m_list.objectCount() || m_state[object] == State::Open)
            return false;
        if (m_state[object] == State::Done)
            return int(m_stack.size()) + m_height[object] <= m_maximumDepth && addChild(object);
        Frame frame{object, {}, 0, 0, 1};
        bool container = false;
        if (!m_list.read(object, container, frame.references))
            return false;
        if (!container) {
            m_state[object] = State::Done;
            m_values[object] = 1;
            return m_stack.empty() || addChild(object);
        }
        if (int(m_stack.size()) + 1 > m_maximumDepth)
            return false;
        m_state[object] = State::Open;
        m_stack.push_back(std::move(frame));
        return true;
    }

    bool addChild(quint64 child) {
        Frame& parent = m_stack.back();
        parent.childHeight = std::max(parent.childHeight, m_height[child]);
        parent.values += std::min(m_values[child], m_maximumValues);
        return parent.values <= m_maximumValues;
    }

    const BinaryList& m_list;
    const int m_maximumDepth;
    const quint64 m_maximumValues;
    std::vector<State> m_state;
    std::vector<int> m_height;
    std::vector<quint64> m_values;
    std::vector<Frame> m_stack;
};

} // namespace

bool PropertyListShape::fitsWithin(const QByteArray& bytes, int maximumDepth) {
    if (!bytes.startsWith("bplist00"))
        return xmlFitsWithin(bytes, maximumDepth);
    BinaryList list(bytes);
    return list.readTrailer() && BinaryWalk(list, maximumDepth, quint64(bytes.size())).run();
}

} // namespace Platform
