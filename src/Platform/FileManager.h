#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <stop_token>

namespace Platform {

// The file-system operations the installer's logic performs on whole items. Paths are
// absolute. Tests replace the process-wide instance with setShared() to steer answers.
class FileManager {
public:
    virtual ~FileManager() = default;

    static FileManager& shared();
    // nullptr restores the system one. Only while no other thread uses it (test set-up).
    static void setShared(std::shared_ptr<FileManager> fileManager);

    // The names in a directory ("." and ".." left out, hidden names kept), in the order the
    // file system gives them; nothing, with *error set when given, when it cannot be read.
    [[nodiscard]] virtual std::optional<QStringList>
    contentsOfDirectoryAtPath(const QString& path, QString* error) const;
    // Whether the current user may read the item (a link is judged by what it points to).
    [[nodiscard]] virtual bool isReadableFileAtPath(const QString& path) const;
    // Whether anything, a dangling link included, is at the path.
    [[nodiscard]] virtual bool itemExistsAtPath(const QString& path) const;
    // Copies an item: a folder whole, a link as a link, files with their permission bits and
    // modification times. Fails when the destination exists, and between two items once `stop`
    // is requested. On failure the part of the destination written so far is removed again.
    [[nodiscard]] virtual bool copyItemAtPath(const QString& source, const QString& destination,
                                              QString* error, std::stop_token stop = {}) const;
    // As copyItemAtPath, but files become hard links to the source's files where the file
    // system allows (a copy where it does not). Only for a source nobody changes and that is
    // removed afterwards, such as an unpacked disk-image volume: its data is then not
    // written a second time.
    [[nodiscard]] virtual bool linkItemAtPath(const QString& source, const QString& destination,
                                              QString* error, std::stop_token stop = {}) const;
    // Removes an item and, for a folder, everything in it. Links are removed, never followed.
    [[nodiscard]] virtual bool removeItemAtPath(const QString& path, QString* error) const;

private:
    [[nodiscard]] static bool copyOrLink(const QString& source, const QString& destination,
                                         bool linkFiles, QString* error, std::stop_token stop);
};

} // namespace Platform
