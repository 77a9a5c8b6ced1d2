#pragma once

#include "Platform/FileDescriptor.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>

namespace Platform {

// A folder whose items are reached from its own descriptor one name at a time, never through
// a symbolic link, so whatever names it is given, nothing is created or written outside it.
// Not thread-safe; one per thread of a job (such as one extraction); several handles may work in
// the same folder at once.
class DirectoryHandle {
public:
    enum class Result { Done, Unsafe, Failed };

    explicit DirectoryHandle(QString path) : m_path(std::move(path)) {}

    // The names of a relative path below the folder: empty and "." names dropped; no value
    // when the path is absolute, holds "..", or names the folder itself.
    [[nodiscard]] static std::optional<QByteArrayList> components(const QByteArray& name);
    // True when a link at `components` with this target resolves inside the folder: a relative
    // target that climbs at most to the folder with leading ".." only, then descends.
    [[nodiscard]] static bool isContainedLink(const QByteArrayList& components,
                                              const QByteArray& target);
    // The process's file creation mask, when it can be read without changing it.
    [[nodiscard]] static std::optional<uint> creationMask();

    // Creates (as needed) the first `count` folders of `components` and makes the last of them
    // current for the calls below. The folder itself is created on first use.
    [[nodiscard]] Result makeFolders(const QByteArrayList& components, qsizetype count);
    // Whether anything, a dangling link included, is named `name` in the current folder.
    [[nodiscard]] bool exists(const QByteArray& name) const;
    // Opens `name` in the current folder for writing, truncated; empty when it cannot be
    // created (`result` says whether a link was in the way). A file it makes gets `mode` less
    // the creation mask, and `created` is set.
    [[nodiscard]] FileDescriptor createFile(const QByteArray& name, uint mode, Result& result,
                                            bool& created) const;
    // Makes `name` in the current folder a link to target, replacing a file or link there.
    [[nodiscard]] Result createLink(const QByteArray& name, const QByteArray& target) const;

private:
    [[nodiscard]] bool openRoot();
    [[nodiscard]] Result descend(int folder, const QByteArray& name, FileDescriptor& next) const;
    [[nodiscard]] bool isLink(const QByteArray& name) const;
    [[nodiscard]] int current() const { return m_current.valid() ? m_current.get() : m_root.get(); }

    QString m_path;
    FileDescriptor m_root;
    // The folder of the previous entry, kept open because entries of one folder come together;
    // empty while that is the folder itself.
    FileDescriptor m_current;
    QByteArray m_currentKey;
};

} // namespace Platform
