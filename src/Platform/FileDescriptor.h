#pragma once

#include <QString>
#include <QtGlobal>

namespace Platform {

// A file descriptor with one owner; closed when the owner goes. Moving hands the descriptor on
// and leaves the source empty.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;

    // Opens a file for reading without waiting for a writer, so a named pipe cannot block the
    // open; empty when it cannot be opened.
    [[nodiscard]] static FileDescriptor openForReading(const QString& path);

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);
    // Closes the descriptor now; false when closing reported a failure (such as a write the
    // file system could not complete).
    [[nodiscard]] bool close();

    // Whether the descriptor is open on a regular file (not a pipe, device or folder).
    [[nodiscard]] bool isRegularFile() const;
    // The file's size in bytes; -1 when it cannot be learnt.
    [[nodiscard]] qint64 size() const;
    // Reads up to `size` bytes at `offset` without moving the file position; the count read,
    // 0 at the end, -1 on failure.
    [[nodiscard]] qint64 readAt(qint64 offset, char* buffer, qint64 size) const;
    // Reads up to `size` bytes; the count read, 0 at the end, -1 on failure.
    [[nodiscard]] qint64 read(char* buffer, qint64 size) const;
    // Writes everything; false on failure (errno says why).
    [[nodiscard]] bool writeAll(const char* data, qint64 size) const;
    // Gives the open file one more name, `path`, in its own file system (a hard link to the
    // very file open here, whatever its old name now leads to); false when it cannot.
    [[nodiscard]] bool linkAt(const QString& path) const;

private:
    int m_fd;
};

} // namespace Platform
