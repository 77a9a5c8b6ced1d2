#include "VolumeSource.h"

#include <cstring>

FileVolumeSource::FileVolumeSource(const QString& path) : m_file(path) {}

bool FileVolumeSource::open() {
    return m_file.open(QIODevice::ReadOnly);
}

qint64 FileVolumeSource::size() const {
    return (m_file.size() + 511) / 512 * 512;
}

bool FileVolumeSource::read(char* buffer, qint64 length) {
    const qint64 available = qMax<qint64>(0, qMin(length, m_file.size() - m_position));
    if (available > 0 && m_file.read(buffer, available) != available)
        return false;
    std::memset(buffer + available, 0, size_t(length - available));
    m_position += length;
    return true;
}
