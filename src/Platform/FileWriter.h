#pragma once

#include "Platform/FileDescriptor.h"

namespace Platform {

// Writes one file through a buffer the caller lends, so a file written in many small pieces
// costs few system calls. Owns the file's descriptor; what is still buffered when the writer
// goes without close() is dropped.
class FileWriter {
public:
    FileWriter(FileDescriptor file, char* buffer, qint64 bufferSize)
        : m_file(std::move(file)), m_buffer(buffer), m_capacity(bufferSize) {}

    // False when the file cannot take the bytes.
    [[nodiscard]] bool write(const char* data, qint64 size);
    // Writes what is buffered and closes the file; false when any of it failed.
    [[nodiscard]] bool close();

private:
    [[nodiscard]] bool flush();

    FileDescriptor m_file;
    char* m_buffer;
    qint64 m_capacity;
    qint64 m_used = 0;
};

} // namespace Platform
