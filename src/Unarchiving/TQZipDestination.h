#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>

// The folder one extraction writes into. Every item is reached from the folder's own
// descriptor one name at a time, never through a symbolic link, so whatever an archive names,
// nothing is created or written outside the folder. Not thread-safe; one per extraction.
class TQZipDestination {
public:
    enum class Result { Done, Unsafe, Failed };

    explicit TQZipDestination(QString path);
    ~TQZipDestination();
    TQZipDestination(const TQZipDestination&) = delete;
    TQZipDestination& operator=(const TQZipDestination&) = delete;

    // The names of an entry's path below the folder: empty and "." names dropped; no value
    // when the path is absolute, holds "..", or names the folder itself.
    [[nodiscard]] static std::optional<QByteArrayList> components(const QByteArray& name);
    // True when a link at `components` with this target resolves inside the folder: a relative
    // target that climbs at most to the folder with leading ".." only, then descends.
    [[nodiscard]] static bool isContainedLink(const QByteArrayList& components,
                                              const QByteArray& target);

    // Creates (as needed) the first `count` folders of `components` and makes the last of them
    // current for the calls below. The folder itself is created on first use.
    [[nodiscard]] Result makeFolders(const QByteArrayList& components, qsizetype count);
    // Whether anything, a dangling link included, is named `name` in the current folder.
    [[nodiscard]] bool exists(const QByteArray& name) const;
    // Opens `name` in the current folder for writing, truncated; -1 when it cannot be created
    // (`result` says whether a link was in the way). The caller owns the descriptor.
    [[nodiscard]] int createFile(const QByteArray& name, Result& result) const;
    // Makes `name` in the current folder a link to target, replacing a file or link there.
    [[nodiscard]] Result createLink(const QByteArray& name, const QByteArray& target) const;

private:
    [[nodiscard]] bool openRoot();
    [[nodiscard]] Result descend(int& folder, const QByteArray& name) const;
    [[nodiscard]] bool isLink(const QByteArray& name) const;
    void setCurrent(int folder, const QByteArray& key);

    QString m_path;
    int m_root = -1;
    // The folder of the previous entry, kept open because entries of one folder come together.
    int m_current = -1;
    QByteArray m_currentKey;
};
