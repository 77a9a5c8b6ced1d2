#include "Platform/DiskImageTool.h"
#include "DiskImages.h"
#include "Platform/Bundle.h"
#include "Platform/Process.h"
#include "Platform/ScopedReplacement.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace DiskImages;
using Platform::DiskImageTool;
using Platform::Process;

struct ToolRun {
    int status = -1;
    QByteArray output;
};

ToolRun runTool(const QStringList& arguments) {
    Process tool;
    tool.setLaunchPath(TQ_BUNDLE_DIR "/Contents/Linux/hdiutil");
    tool.setArguments(arguments);
    tool.setStandardInput(Process::Stream::Pipe);
    tool.setStandardOutput(Process::Stream::Pipe);
    ToolRun run;
    if (!tool.launch())
        return run;
    (void)tool.writeToStandardInput("yes\n");
    tool.closeStandardInput();
    run.output = tool.readStandardOutputToEnd().value_or(QByteArray());
    tool.waitUntilExit();
    run.status = tool.terminationStatus();
    return run;
}

ToolRun attach(const QString& image, const QString& mountPoint) {
    return runTool({"attach", image, "-mountpoint", mountPoint, "-nobrowse", "-noautoopen"});
}

ToolRun detach(const QString& mountPoint) {
    return runTool({"detach", mountPoint, "-force"});
}

class DiskImageToolTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(DiskImageTool::createVolumesDirectory());
        volumes = DiskImageTool::volumesDirectory();
    }
    void TearDown() override {
        EXPECT_EQ(volumeEntries(), QStringList()) << "something is left mounted";
    }
    [[nodiscard]] QStringList volumeEntries() const {
        return QDir(volumes).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    const Platform::ScopedReplacement<Platform::Bundle> mainBundle{
        std::make_shared<Platform::Bundle>(TQ_BUNDLE_DIR)};
    QString volumes;
};

TEST_F(DiskImageToolTest, EveryKindOfImageIsAttachedAsItsVolumeAndDetachedWhole) {
    const QString outside = TestEnvironment::makeFolder("outside");
    writeFile(outside + "/precious", "keep");
    const QString volume = bundleVolume(outside);
    for (const Kind kind : {Kind::HfsZlib, Kind::HfsRaw, Kind::IsoInUdif, Kind::PlainIso}) {
        SCOPED_TRACE(int(kind));
        const QString mountPoint = volumes + "/" + QString::number(int(kind));
        const ToolRun attached = attach(pack(volume, kind), mountPoint);
        ASSERT_EQ(attached.status, 0) << attached.output.toStdString();
        EXPECT_TRUE(attached.output.contains("7-Zip"));

        QStringList items =
            QDir(mountPoint)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        items.sort();
        EXPECT_EQ(items, QStringList({"Applications", QString::fromUtf8("Scribora 书.app")}));
        const QString app = mountPoint + QString::fromUtf8("/Scribora 书.app");
        EXPECT_EQ(readAll(app + "/Contents/Info.plist"), "<plist>Scribora</plist>");
        EXPECT_EQ(modeOf(app + "/Contents/Linux/scribora"), 0755u);
        EXPECT_EQ(modeOf(app + "/Contents/Info.plist"), 0644u);
        EXPECT_EQ(linkTarget(mountPoint + "/Applications"), outside);
        EXPECT_EQ(linkTarget(app + "/Contents/Frameworks/Kit.framework/Kit"),
                  "Versions/Current/Kit");
        EXPECT_EQ(readAll(app + "/Contents/Frameworks/Kit.framework/Kit"), "kit");
        EXPECT_EQ(linkTarget(app + "/Contents/Frameworks/Kit.framework/Programs"), "../../Linux");

        const ToolRun detached = detach(mountPoint);
        EXPECT_EQ(detached.status, 0) << detached.output.toStdString();
        EXPECT_FALSE(QFileInfo::exists(mountPoint));
        EXPECT_EQ(readAll(outside + "/precious"), "keep");
    }
}

TEST_F(DiskImageToolTest, ImagesThatAreNotWholeDiskImagesAreRefusedAndLeaveNothing) {
    const QString folder = TestEnvironment::makeFolder("bad-images");
    writeFile(folder + "/text.dmg", "just some text, not a disk image\n");
    QProcess zip;
    zip.start("7zz", {"a", "-tzip", folder + "/zip.dmg", folder + "/text.dmg"});
    ASSERT_TRUE(zip.waitForFinished());

    const QString volume = bundleVolume();
    writeFile(volume + "/payload", QByteArray(300000, 'x') + "MARKER" + QByteArray(1000, 'y'));
    const QByteArray raw = readAll(pack(volume, Kind::HfsRaw));
    writeFile(folder + "/truncated.dmg", raw.left(raw.size() / 2) + raw.right(512));
    QByteArray damaged = raw;
    damaged[damaged.indexOf("MARKER")] = 'N';
    writeFile(folder + "/damaged.dmg", damaged);
    // Opened as a file, a named pipe waits for a writer for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/pipe.dmg").constData(), 0600), 0);

    for (const char* name :
         {"text.dmg", "zip.dmg", "truncated.dmg", "damaged.dmg", "missing.dmg", "pipe.dmg"}) {
        SCOPED_TRACE(name);
        const ToolRun run = attach(folder + "/" + name, volumes + "/bad");
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(run.output.startsWith("hdiutil: ") || run.output.contains("7-Zip"));
        EXPECT_EQ(volumeEntries(), QStringList());
    }
    EXPECT_TRUE(attach(folder + "/damaged.dmg", volumes + "/bad").output.contains("CRC"));
}

TEST_F(DiskImageToolTest, OnlyItsOwnMountPointsInsideThePrivateFolderAreTouched) {
    const QString image = pack(bundleVolume(), Kind::HfsZlib);
    const QString mountPoint = volumes + "/mounted";

    // Attach never reuses or creates a folder outside the private Volumes folder.
    QDir().mkpath(volumes + "/taken");
    EXPECT_NE(attach(image, volumes + "/taken").status, 0);
    const QString elsewhere = TestEnvironment::makeFolder("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere + "/Volumes"));
    ASSERT_TRUE(QFile::setPermissions(elsewhere + "/Volumes",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (const QString& folder : {elsewhere, elsewhere + "/Volumes"}) {
        EXPECT_NE(attach(image, folder + "/mounted").status, 0);
        EXPECT_FALSE(QFileInfo::exists(folder + "/mounted"));
    }

    // Detach refuses folders it did not make and paths outside its root, removing nothing.
    writeFile(volumes + "/taken/file", "keep");
    EXPECT_NE(detach(volumes + "/taken").status, 0);
    EXPECT_EQ(readAll(volumes + "/taken/file"), "keep");
    EXPECT_NE(detach(elsewhere).status, 0);
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
    ASSERT_EQ(attach(image, mountPoint).status, 0);
    EXPECT_NE(detach(volumes + "/../Volumes/mounted").status, 0);
    EXPECT_NE(detach(mountPoint + "/Applications").status, 0);
    EXPECT_TRUE(QFileInfo::exists(mountPoint));

    // A mount point swapped for another folder is not the volume any more.
    ASSERT_TRUE(QDir().rename(mountPoint, mountPoint + "-moved"));
    ASSERT_TRUE(QDir().mkdir(mountPoint));
    EXPECT_NE(detach(mountPoint).status, 0);
    EXPECT_TRUE(QFileInfo::exists(mountPoint));
    ASSERT_TRUE(QDir(mountPoint).removeRecursively());
    ASSERT_TRUE(QDir().rename(mountPoint + "-moved", mountPoint));
    EXPECT_EQ(detach(mountPoint).status, 0);
    EXPECT_NE(detach(mountPoint).status, 0);
    ASSERT_TRUE(QDir(volumes + "/taken").removeRecursively());

    // A Volumes folder others may enter is not private.
    ASSERT_TRUE(QFile::setPermissions(volumes, QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ExeOther));
    EXPECT_NE(attach(image, mountPoint).status, 0);
    ASSERT_TRUE(
        QFile::setPermissions(volumes, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    // Nor is a Volumes folder inside a private folder others may enter.
    const QString root = QFileInfo(volumes).path();
    ASSERT_TRUE(QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ExeOther));
    EXPECT_NE(attach(image, mountPoint).status, 0);
    ASSERT_TRUE(
        QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace
