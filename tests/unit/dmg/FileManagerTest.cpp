#include "Platform/FileManager.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Platform::FileManager;

void writeFile(const QString& path, const QByteArray& content, mode_t mode) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Scribora.app/Contents/{Linux/scribora 0755, Info.plist 0644, Frameworks/Current -> A}
// in a read-only folder, plus links beside the bundle.
QString makeVolume(const QString& root) {
    const QString app = root + QString::fromUtf8("/Scribora 书.app");
    QDir().mkpath(app + "/Contents/Linux");
    QDir().mkpath(app + "/Contents/Frameworks/A");
    writeFile(app + "/Contents/Linux/scribora", "#!/bin/sh\n", 0755);
    writeFile(app + "/Contents/Info.plist", QByteArray(200000, 'p'), 0644);
    QFile::link("A", app + "/Contents/Frameworks/Current");
    ::chmod(QFile::encodeName(app + "/Contents").constData(), 0555);
    QFile::link("/opt", root + "/Applications");
    QFile::link("Scribora 书.app/Contents", root + "/Contents link");
    QFile::link("/nonexistent/target", root + "/dangling");
    writeFile(root + "/.hidden", "h", 0600);
    return app;
}

TEST(FileManagerTest, ListingShowsEveryNameAndReadabilityFollowsLinks) {
    const QString root = TestEnvironment::makeFolder("listing");
    makeVolume(root);
    FileManager& files = FileManager::shared();
    QString error;
    auto names = files.listDirectory(root, &error);
    ASSERT_TRUE(names.has_value());
    names->sort();
    EXPECT_EQ(*names, QStringList({".hidden", "Applications", "Contents link",
                                   QString::fromUtf8("Scribora 书.app"), "dangling"}));
    EXPECT_FALSE(files.listDirectory(root + "/missing", &error).has_value());
    EXPECT_TRUE(error.contains(root + "/missing"));

    EXPECT_TRUE(files.isReadableFileAtPath(root + "/Applications"));
    EXPECT_FALSE(files.isReadableFileAtPath(root + "/dangling"));
    EXPECT_TRUE(files.itemExistsAtPath(root + "/dangling"));
    EXPECT_FALSE(files.itemExistsAtPath(root + "/missing"));
}

TEST(FileManagerTest, CopyTakesFoldersWholeLinksAsLinksAndKeepsModes) {
    const QString root = TestEnvironment::makeFolder("copy-source");
    const QString target = TestEnvironment::makeFolder("copy-target");
    const QString app = makeVolume(root);
    FileManager& files = FileManager::shared();
    QString error;
    const QString copiedApp = target + QString::fromUtf8("/Scribora 书.app");
    ASSERT_TRUE(files.copyItemAtPath(app, copiedApp, &error)) << error.toStdString();
    EXPECT_EQ(contentOf(copiedApp + "/Contents/Info.plist"), QByteArray(200000, 'p'));
    EXPECT_EQ(modeOf(copiedApp + "/Contents/Linux/scribora"), 0755u);
    EXPECT_EQ(modeOf(copiedApp + "/Contents/Info.plist"), 0644u);
    EXPECT_EQ(modeOf(copiedApp + "/Contents"), 0555u);
    EXPECT_EQ(QFileInfo(copiedApp + "/Contents/Frameworks/Current").symLinkTarget(),
              copiedApp + "/Contents/Frameworks/A");
    EXPECT_EQ(QFileInfo(app + "/Contents/Linux/scribora").lastModified(),
              QFileInfo(copiedApp + "/Contents/Linux/scribora").lastModified());

    ASSERT_TRUE(files.copyItemAtPath(root + "/Applications", target + "/Applications", &error));
    EXPECT_EQ(QFile::symLinkTarget(target + "/Applications"), "/opt");
    ASSERT_TRUE(files.copyItemAtPath(root + "/dangling", target + "/dangling", &error));
    EXPECT_TRUE(QFileInfo(target + "/dangling").isSymLink());

    // An existing destination is never touched, whatever its kind.
    writeFile(target + "/existing", "keep", 0600);
    EXPECT_FALSE(files.copyItemAtPath(app, target + "/existing", &error));
    EXPECT_TRUE(error.contains("File exists")) << error.toStdString();
    EXPECT_EQ(contentOf(target + "/existing"), "keep");
    EXPECT_FALSE(files.copyItemAtPath(root + "/Applications", copiedApp, &error));
    EXPECT_EQ(modeOf(copiedApp + "/Contents"), 0555u);
    EXPECT_FALSE(files.copyItemAtPath(root + "/missing", target + "/missing", &error));
    EXPECT_FALSE(files.itemExistsAtPath(target + "/missing"));
}

TEST(FileManagerTest, AFailedCopyLeavesNothingHalfWritten) {
    const QString root = TestEnvironment::makeFolder("half-source");
    const QString target = TestEnvironment::makeFolder("half-target");
    QDir().mkpath(root + "/Bundle.app/A");
    writeFile(root + "/Bundle.app/A/readable", "r", 0644);
    // A pipe cannot be copied, whoever runs the test.
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/Bundle.app/A/pipe").constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(
        FileManager::shared().copyItemAtPath(root + "/Bundle.app", target + "/Bundle.app", &error));
    EXPECT_FALSE(QFileInfo::exists(target + "/Bundle.app"));
}

TEST(FileManagerTest, RemovalTakesReadOnlyFoldersAndNeverFollowsLinks) {
    const QString outside = TestEnvironment::makeFolder("outside");
    writeFile(outside + "/precious", "keep", 0644);
    const QString root = TestEnvironment::makeFolder("removal");
    const QString app = makeVolume(root);
    QFile::link(outside, app + "/Contents/Frameworks/A/outside");
    QFile::link(outside, root + "/outside link");
    FileManager& files = FileManager::shared();
    QString error;
    ASSERT_TRUE(files.removeItemAtPath(root + "/outside link", &error)) << error.toStdString();
    ASSERT_TRUE(files.removeItemAtPath(root, &error)) << error.toStdString();
    EXPECT_FALSE(files.itemExistsAtPath(root));
    EXPECT_EQ(contentOf(outside + "/precious"), "keep");
    EXPECT_FALSE(files.removeItemAtPath(root, &error));
    EXPECT_TRUE(error.contains(root));
}

ino_t inodeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_ino;
}

TEST(FileManagerTest, LinkingSharesFileDataButMakesFoldersAndLinksAnew) {
    const QString root = TestEnvironment::makeFolder("link-source");
    const QString target = TestEnvironment::makeFolder("link-target");
    const QString app = makeVolume(root);
    FileManager& files = FileManager::shared();
    QString error;
    const QString linked = target + "/Linked.app";
    ASSERT_TRUE(files.linkItemAtPath(app, linked, &error)) << error.toStdString();
    EXPECT_EQ(inodeOf(linked + "/Contents/Info.plist"), inodeOf(app + "/Contents/Info.plist"));
    EXPECT_NE(inodeOf(linked + "/Contents"), inodeOf(app + "/Contents"));
    EXPECT_EQ(modeOf(linked + "/Contents"), 0555u);
    EXPECT_EQ(modeOf(linked + "/Contents/Linux/scribora"), 0755u);
    EXPECT_EQ(QFile::symLinkTarget(linked + "/Contents/Frameworks/Current"),
              linked + "/Contents/Frameworks/A");

    // Removing the source leaves the linked tree whole.
    ASSERT_TRUE(files.removeItemAtPath(root, &error));
    EXPECT_EQ(contentOf(linked + "/Contents/Info.plist"), QByteArray(200000, 'p'));
    EXPECT_FALSE(files.linkItemAtPath(linked, linked, &error));
    EXPECT_TRUE(error.startsWith("Cannot link")) << error.toStdString();
}

} // namespace
