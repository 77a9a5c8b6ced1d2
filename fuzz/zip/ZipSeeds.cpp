#include "ZipSeeds.h"

#include "ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <vector>

namespace {

using Entry = ZipBuilder::Entry;

struct Seed {
    const char* name;
    std::vector<Entry> entries;
};

Entry fileEntry(const QByteArray& name, const QByteArray& data = "data\n") {
    return {name, data, ZipBuilder::fileMode};
}
Entry linkEntry(const QByteArray& name, const QByteArray& target) {
    return {name, target, ZipBuilder::linkMode};
}
Entry folderEntry(const QByteArray& name) {
    return {name, {}, ZipBuilder::directoryMode};
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

} // namespace

int writeZipSeeds(const QString& folder) {
    QDir().mkpath(folder);
    const Seed seeds[] = {
        {"bundle",
         {folderEntry("App.app/"),
          folderEntry("App.app/Contents/"),
          {"App.app/Contents/Linux/app", "#!/bin/sh\n", ZipBuilder::programMode},
          fileEntry("App.app/Contents/Info.plist", QByteArray(3000, 'p')),
          folderEntry("App.app/Contents/Frameworks/F.framework/Versions/A/"),
          linkEntry("App.app/Contents/Frameworks/F.framework/Versions/Current", "A"),
          linkEntry("App.app/Contents/Frameworks/F.framework/F", "Versions/Current/F"),
          {"plain.txt", "no attributes", std::nullopt}}},
        {"parent", {fileEntry("../evil")}},
        {"absolute", {fileEntry("/tmp/tq-zip-evil")}},
        {"nested-parent", {fileEntry("a/../../evil")}},
        {"backslash", {fileEntry("a/\\..\\..\\evil"), fileEntry("dir\\file.txt")}},
        {"link-out", {linkEntry("l", "../../evil")}},
        {"link-absolute", {linkEntry("l", "/tmp")}},
        {"write-through-link", {folderEntry("sub/"), linkEntry("l", "sub"), fileEntry("l/f")}},
        {"link-chain",
         {folderEntry("d/"), folderEntry("e/"), linkEntry("d/l", "../e"),
          linkEntry("m", "d/l/../..")}},
        {"crc", {{"f", "payload", ZipBuilder::fileMode, true, 0x1234u}}},
        {"short", {{"f", "payload", ZipBuilder::fileMode, true, std::nullopt, 100u}}},
        {"long", {{"f", "payload", ZipBuilder::fileMode, false, std::nullopt, 3u}}},
        {"utf8", {fileEntry("bad\xff\xfe.txt")}},
        {"collision", {folderEntry("a/"), fileEntry("a"), fileEntry("b"), fileEntry("b/c")}},
        {"modes", {{"x", "x", 0100200}, {"y", "y", 0100755}, folderEntry("d/"), {"d/z", "z", 0}}},
    };
    int count = 0;
    for (const Seed& seed : seeds) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(seed.name) + ".zip";
        count += ZipBuilder::build(path, seed.entries).isEmpty() ? 0 : 1;
    }
    const QByteArray bundle = ZipBuilder::build(folder + "/bundle.zip", seeds[0].entries);
    count += writeBytes(folder + "/truncated.zip", bundle.left(bundle.size() / 2));
    count += writeBytes(folder + "/not-zip.zip", "this is not an archive\n");
    ZipBuilder empty(folder + "/empty.zip");
    count += empty.close();
    return count;
}
