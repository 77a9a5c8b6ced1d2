#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>
#include <sys/types.h>

inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << '"' << text.toStdString() << '"';
}

// Folders and disk images built by the tests themselves.
namespace DiskImages {

enum class Kind { HfsZlib, HfsRaw, IsoInUdif, PlainIso };

void writeFile(const QString& path, const QByteArray& content, mode_t mode = 0644);
// A volume folder: "Scribora 书.app" (Info.plist, program 0755, a framework with a relative
// link through another link and one with "..") and "Applications" -> an absolute folder
// outside.
QString bundleVolume(const QString& applicationsTarget = QStringLiteral("/usr"));
// Packs a folder; fails the test when packing fails.
QString pack(const QString& folder, Kind kind, const QString& volumeName = "Scribora");
[[nodiscard]] QByteArray readAll(const QString& path);
[[nodiscard]] mode_t modeOf(const QString& path);
// What a link holds, as written; empty for anything else.
[[nodiscard]] QString linkTarget(const QString& path);

} // namespace DiskImages
