#pragma once

#include "Platform/FileDescriptor.h"

#include <QtGlobal>

namespace Platform {

// The bytes of an open file mapped read-only, to read a whole file at once without copying it.
// The file must not shrink while it is mapped: only files of this user in a private folder.
class MappedFile {
public:
    // The whole file open at `file`, as long as it was when mapped.
    explicit MappedFile(const FileDescriptor& file);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the file could not be mapped; an empty file maps to no bytes.
    [[nodiscard]] bool valid() const { return m_data != nullptr; }
    [[nodiscard]] const char* data() const { return m_data; }
    [[nodiscard]] qint64 size() const { return m_size; }

private:
    const char* m_data = nullptr;
    qint64 m_size = 0;
    bool m_mapped = false;
};

} // namespace Platform
