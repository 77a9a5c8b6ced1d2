#pragma once

#include "Platform/ScratchFolder.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <memory>

// A downloaded package whose bytes carry the maker's signature. The file is opened once and
// the signature checked over the bytes of that open file; the extractors are then given a link
// to that same file in a folder of this run. A file put at the package's path afterwards (by a
// second installer sharing the download folder, say) is never the one unpacked, while the
// extractors, one of them a separate program, still read a path with the package's name.
class VerifiedPackage {
public:
    // The package at `path` when `signature` is the key's signature of it; null otherwise,
    // after a log line saying why.
    [[nodiscard]] static std::unique_ptr<VerifiedPackage>
    verify(const QString& path, const QByteArray& publicKey, const QByteArray& signature);

    // The link to the verified file, under the package's own name; it goes with this object.
    [[nodiscard]] QUrl url() const { return QUrl::fromLocalFile(m_link); }

private:
    VerifiedPackage(std::unique_ptr<Platform::ScratchFolder> folder, QString link)
        : m_folder(std::move(folder)), m_link(std::move(link)) {}

    std::unique_ptr<Platform::ScratchFolder> m_folder;
    QString m_link;
};
