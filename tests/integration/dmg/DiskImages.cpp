#include "DiskImages.h"

#include "HfsPlusVolume.h"
#include "IsoImage.h"
#include "TestEnvironment.h"
#include "UdifWriter.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace DiskImages {

void writeFile(const QString& path, const QByteArray& content, mode_t mode) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

QString bundleVolume(const QString& applicationsTarget) {
    const QString volume = TestEnvironment::makeFolder("volume");
    const QString app = volume + QString::fromUtf8("/Scribora 书.app");
    QDir().mkpath(app + "/Contents/Linux");
    QDir().mkpath(app + "/Contents/Frameworks/Kit.framework/Versions/A");
    writeFile(app + "/Contents/Info.plist", "<plist>Scribora</plist>");
    writeFile(app + "/Contents/Linux/scribora", "#!/bin/sh\nexit 0\n", 0755);
    writeFile(app + "/Contents/Frameworks/Kit.framework/Versions/A/Kit", "kit", 0755);
    QFile::link("A", app + "/Contents/Frameworks/Kit.framework/Versions/Current");
    QFile::link("Versions/Current/Kit", app + "/Contents/Frameworks/Kit.framework/Kit");
    QFile::link("../../Linux", app + "/Contents/Frameworks/Kit.framework/Programs");
    QFile::link(applicationsTarget, volume + "/Applications");
    return volume;
}

QString pack(const QString& folder, Kind kind, const QString& volumeName) {
    const QString output = TestEnvironment::makeFolder("images") + "/" + volumeName + ".dmg";
    QString error;
    if (kind == Kind::PlainIso || kind == Kind::IsoInUdif) {
        const QString iso = kind == Kind::PlainIso ? output : output + ".iso";
        EXPECT_TRUE(IsoImage::write(folder, volumeName, iso, &error)) << error.toStdString();
        if (kind == Kind::PlainIso)
            return output;
        FileVolumeSource source(iso);
        EXPECT_TRUE(source.open());
        UdifWriter::Options options;
        options.partitionName = "disk image (Apple_ISO : 0)";
        EXPECT_TRUE(UdifWriter::write(source, output, options, &error)) << error.toStdString();
        return output;
    }
    const auto volume = HfsPlusVolume::fromFolder(folder, volumeName, &error);
    EXPECT_TRUE(volume) << error.toStdString();
    if (!volume)
        return output;
    UdifWriter::Options options;
    if (kind == Kind::HfsRaw)
        options.compression = UdifWriter::Compression::Raw;
    EXPECT_TRUE(UdifWriter::write(*volume, output, options, &error)) << error.toStdString();
    return output;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

QString linkTarget(const QString& path) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(QFile::encodeName(path).toStdString(), error);
    return error ? QString() : QFile::decodeName(QByteArray::fromStdString(target.string()));
}

} // namespace DiskImages
