#pragma once

#include "Platform/FileDescriptor.h"

#include <QString>
#include <memory>

namespace Platform {

// A folder of one running process for files it is still writing, such as partial downloads.
// The folder stays locked while its owner lives, so a later process can tell an abandoned one
// (left by a killed run) from one in use, and remove only the abandoned ones.
class ScratchFolder {
public:
    // A new ".partial-XXXXXX" folder in `parent`, locked; null when it cannot be made.
    [[nodiscard]] static std::unique_ptr<ScratchFolder> create(const QString& parent);
    // Removes the ".partial-*" folders of `parent` that no living owner holds.
    static void removeAbandoned(const QString& parent);

    // Removes the folder and what it still holds.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] QString path() const { return m_path; }

private:
    ScratchFolder(QString path, int lockedFd);

    QString m_path;
    FileDescriptor m_lock;
};

} // namespace Platform
