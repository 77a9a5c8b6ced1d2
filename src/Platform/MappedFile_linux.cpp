#include "Platform/MappedFile.h"

#include <sys/mman.h>

namespace Platform {

MappedFile::MappedFile(const FileDescriptor& file) {
    const qint64 size = file.size();
    if (size == 0)
        m_data = "";
    if (size <= 0)
        return;
    void* data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (data == MAP_FAILED)
        return;
    m_data = static_cast<const char*>(data);
    m_size = size;
    m_mapped = true;
}

MappedFile::~MappedFile() {
    if (m_mapped)
        ::munmap(const_cast<char*>(m_data), size_t(m_size));
}

} // namespace Platform
