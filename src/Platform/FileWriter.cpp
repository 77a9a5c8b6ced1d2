#include "Platform/FileWriter.h"

#include <cstring>

namespace Platform {

bool FileWriter::write(const char* data, qint64 size) {
    if (m_used + size > m_capacity && !flush())
        return false;
    if (size >= m_capacity)
        return m_file.writeAll(data, size);
    std::memcpy(m_buffer + m_used, data, size_t(size));
    m_used += size;
    return true;
}

bool FileWriter::close() {
    const bool flushed = flush();
    return m_file.close() && flushed;
}

bool FileWriter::flush() {
    const bool written = m_file.writeAll(m_buffer, m_used);
    m_used = 0;
    return written;
}

} // namespace Platform
