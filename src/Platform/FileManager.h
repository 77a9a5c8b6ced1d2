#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <stop_token>

namespace Platform {

// The file-system operations the installer's logic performs on whole items. Paths are
// absolute. Tests replace the process-wide instance with ScopedReplacement to steer answers.
class FileManager {
public:
    virtual ~FileManager() = default;

    static FileManager& shared();

    // The names in a directory ("." and ".." left out, hidden names kept), in the order the
    // file system gives them; nothing, with *error set when given, when it cannot be read.
    [[nodiscard]] virtual std::optional<QStringList> listDirectory(const QString& path,
                                                                   QString* error) const;
    // Whether the current (real) user may read, write or execute the item (a link is judged by
    // what it points to).
    [[nodiscard]] virtual bool isReadableFileAtPath(const QString& path) const;
    [[nodiscard]] virtual bool isWritableFileAtPath(const QString& path) const;
    [[nodiscard]] virtual bool isExecutableFileAtPath(const QString& path) const;
    // Bytes the current user may still write on the file system that holds the path; nothing
    // when that cannot be read.
    [[nodiscard]] virtual std::optional<qint64> availableBytesAtPath(const QString& path) const;
    // The item's attributes as readable text, a link's own rather than its target's:
    //   {
    //       NSFileType = NSFileTypeDirectory;
    //       NSFilePosixPermissions = 0755;
    //       NSFileOwnerAccountName = root;
    //       NSFileGroupOwnerAccountName = root;
    //       NSFileSize = 4096;
    //       NSFileModificationDate = "2026-01-01T00:00:00Z";
    //   }
    // Null when they cannot be read.
    [[nodiscard]] virtual QString itemAttributesDescription(const QString& path) const;
    // The permission bits (07777) of the item a path leads to; nothing when it cannot be read.
    [[nodiscard]] virtual std::optional<uint>
    posixPermissionsOfItemAtPath(const QString& path) const;
    // Sets the permission bits of the item a path leads to.
    [[nodiscard]] virtual bool setPosixPermissionsOfItemAtPath(const QString& path,
                                                               uint permissions) const;
    // What a link holds, as written; nothing when the item is not a link.
    [[nodiscard]] virtual std::optional<QByteArray> linkTargetAtPath(const QString& path) const;
    // Makes a link at `path` holding `target`; fails when anything is at `path`.
    [[nodiscard]] virtual bool createLinkAtPath(const QString& path,
                                                const QByteArray& target) const;
    // Renames an item within one file system; fails when the destination exists, *error (when
    // given) saying why.
    [[nodiscard]] virtual bool moveItemAtPath(const QString& source, const QString& destination,
                                              QString* error = nullptr) const;
    // "device:inode" of a real folder (not a link); empty for anything else. Tells whether a
    // folder is still the one seen before.
    [[nodiscard]] virtual QByteArray folderIdentityAtPath(const QString& path) const;
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
