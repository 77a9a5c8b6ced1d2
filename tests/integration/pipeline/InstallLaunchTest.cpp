#include "BundleBuilder.h"
#include "PipelineFixture.h"
#include "Platform/Authorization.h"
#include "Platform/UserDefaults.h"
#include "TQWindowController.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString noPackageAddress = "安装失败：压缩包下载地址为空";

// Install and launch stages on their own: the click finds no package address (the PID does
// not form a link), which settles the installation directory and ends in the error dialog;
// the stages are then driven with an unpacked bundle of the test's own.
class InstallLaunchTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        writeInstallerSettings({{"PID", "no link"}});
        unpacked = copyOfScribora(root + "/tmp/Scribora");
    }
    void clickWithoutPackage() {
        controller.clickInstallButton();
        ASSERT_TRUE(controller.isInstalling());
        ASSERT_TRUE(log.contains(noPackageAddress));
    }
    static QString defaultPath() {
        return Platform::UserDefaults::standard().stringForKey("ApplicationInstallDirectory");
    }
    bool waitForIdle() {
        return waitFor([this] { return !controller.isInstalling(); });
    }

    TQWindowController controller;
    QString unpacked;
};

TEST_F(InstallLaunchTest, TheBundleIsCopiedWithItsLinksAndModesLaunchedAndRemembered) {
    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(unpacked));
    ASSERT_TRUE(waitForIdle());

    const QString installed = applications + "/Scribora.app";
    const QString kit = installed + "/Contents/Frameworks/ScriboraKit.framework";
    EXPECT_EQ(QFileInfo(kit + "/Versions/Current").symLinkTarget(), kit + "/Versions/A");
    EXPECT_TRUE(QFileInfo(kit + "/ScriboraKit").isSymLink());
    EXPECT_TRUE(QFileInfo(installed + "/Contents/Linux/Scribora").isExecutable());
    EXPECT_TRUE(QFileInfo::exists(unpacked)) << "the unpacked bundle is copied, not moved";

    ASSERT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
    EXPECT_EQ(scriboraStarts().first(), installed + "/Contents/Linux/Scribora");
    EXPECT_EQ(defaultPath(), installed);
    EXPECT_EQ(controller.installedApplicationURL(), QUrl::fromLocalFile(installed));
    EXPECT_EQ(controller.installButtonTitle(), "Launch");

    // A second click launches the installed copy without installing.
    log.clear();
    controller.clickInstallButton();
    EXPECT_FALSE(controller.isInstalling());
    EXPECT_TRUE(log.contains("(null)"));
    EXPECT_TRUE(waitFor([] { return scriboraStarts().size() == 2; }));
}

TEST_F(InstallLaunchTest, AnExistingCopyIsLeftAloneAndTheNewOneGetsANumberedName) {
    const QString older =
        BundleBuilder::writeProduct(applications, "Scribora.app", "com.orvanta.Scribora", "6.0");
    const QByteArray olderSettings = [&] {
        QFile file(older + "/Contents/Info.plist");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(unpacked));
    ASSERT_TRUE(waitForIdle());

    const QString numbered = applications + "/Scribora (1).app";
    EXPECT_EQ(defaultPath(), numbered);
    EXPECT_EQ(controller.installedApplicationURL(), QUrl::fromLocalFile(numbered));
    QFile file(older + "/Contents/Info.plist");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), olderSettings);
    EXPECT_FALSE(QFileInfo::exists(older + "/Contents/Linux"));
}

TEST_F(InstallLaunchTest, AMissingBundleOrDirectoryEndsInTheErrorDialog) {
    controller.install(QUrl::fromLocalFile(unpacked));
    EXPECT_TRUE(log.contains("安装失败：找不到应用程序目录"));

    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(root + "/tmp/Scribora/Gone.app"));
    EXPECT_TRUE(log.contains("安装失败：解压程序包不存在"));
    EXPECT_TRUE(QDir(applications).isEmpty());
}

TEST_F(InstallLaunchTest, AFailedPlainCopyLeavesNothingAndACancelledPanelEndsTheInstallation) {
    // A named pipe inside the bundle cannot be copied.
    const QString pipe = unpacked + "/Contents/Resources/pipe";
    QDir().mkpath(unpacked + "/Contents/Resources");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(unpacked));

    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = directoryPanel()) != nullptr; }));
    EXPECT_EQ(panel->windowTitle(),
              "Unable to install it to the application directory, please change the "
              "installation path.");
    EXPECT_FALSE(QFileInfo::exists(applications + "/Scribora.app"));
    EXPECT_TRUE(std::any_of(log.lines().cbegin(), log.lines().cend(),
                            [](const QString& line) { return line.startsWith("Cannot copy"); }));

    panel->reject();
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(controller.installButtonTitle(), "Install");
    EXPECT_TRUE(scriboraStarts().isEmpty());
    EXPECT_TRUE(defaultPath().isEmpty());
}

TEST_F(InstallLaunchTest, AChosenDirectoryTakesOverAfterAFailedCopy) {
    // Not writable even for the administrator, and a privileged copy cannot write there.
    const Platform::ScopedReplacement<Platform::SearchPaths> paths(
        std::make_shared<TestSearchPaths>("/proc/1"));
    ASSERT_NE(access("/proc/1", W_OK), 0);
    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(unpacked));

    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = directoryPanel()) != nullptr; }));
    choose(panel, applications);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(defaultPath(), applications + "/Scribora.app");
    EXPECT_EQ(controller.installButtonTitle(), "Launch");

    // The chosen directory stays for the next installation of this run.
    QDir(applications + "/Scribora.app").removeRecursively();
    clickWithoutPackage();
    controller.install(QUrl::fromLocalFile(unpacked));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(defaultPath(), applications + "/Scribora.app");
}

TEST_F(InstallLaunchTest, WithoutAnApplicationsFolderTheClickAsksForOne) {
    const Platform::ScopedReplacement<Platform::SearchPaths> paths(
        std::make_shared<TestSearchPaths>(QString()));
    controller.clickInstallButton();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = directoryPanel()) != nullptr; }));
    EXPECT_FALSE(controller.isInstalling()) << "the chooser comes before the installation";
    panel->reject();
    ASSERT_TRUE(waitFor([] { return directoryPanel() == nullptr; }));
    EXPECT_FALSE(controller.isInstalling());
    EXPECT_FALSE(log.contains(noPackageAddress));

    controller.clickInstallButton();
    ASSERT_TRUE(waitFor([&] { return (panel = directoryPanel()) != nullptr; }));
    choose(panel, applications);
    ASSERT_TRUE(waitFor([this] { return controller.isInstalling(); }));
    EXPECT_TRUE(log.contains(noPackageAddress));
    controller.install(QUrl::fromLocalFile(unpacked));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(defaultPath(), applications + "/Scribora.app");
}

TEST_F(InstallLaunchTest, ABundleThatCannotBeOpenedFailsTheLaunch) {
    (void)Platform::UserDefaults::standard().setString("ApplicationInstallDirectory", "/earlier");
    BundleBuilder::writeInfo(unpacked, {{"CFBundleIdentifier", "com.orvanta.Scribora"},
                                        {"CFBundleShortVersionString", "7.1.0"}});
    clickWithoutPackage();
    log.clear();
    controller.install(QUrl::fromLocalFile(unpacked));
    EXPECT_TRUE(log.contains("应用程序启动失败"));
    EXPECT_TRUE(QFileInfo::exists(applications + "/Scribora.app"));
    EXPECT_EQ(defaultPath(), "/earlier");
    EXPECT_TRUE(controller.isInstalling()) << "the installation waits for the dialog's answer";
    EXPECT_TRUE(controller.installedApplicationURL().isEmpty());
}

// The password prompt stands in as a script: "STAND-IN --keep-cwd /bin/cp -a SOURCE DEST".
TEST_F(InstallLaunchTest, APrivilegedCopyCountsOnlyWhenTheToolSucceeded) {
    std::optional<Platform::ScopedReplacement<Platform::Authorization>> authorization;
    const auto standIn = [&](const QByteArray& body) {
        const QString path = root + "/stand-in-" + QString::number(qHash(body));
        QFile script(path);
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nshift\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        authorization.emplace(std::make_shared<Platform::Authorization>(path, false));
    };
    const QString destination = applications + "/Scribora.app";

    standIn("exit 126"); // the prompt was dismissed
    EXPECT_FALSE(controller.copyWithAuthority(unpacked, destination));
    EXPECT_FALSE(QFileInfo::exists(destination));

    standIn("mkdir \"$4\"; exit 1"); // the copy stopped part-way
    EXPECT_FALSE(controller.copyWithAuthority(unpacked, destination));
    EXPECT_TRUE(QFileInfo(destination).isDir()) << "something was left at the destination";

    QDir(destination).removeRecursively();
    standIn("exec \"$@\"");
    EXPECT_TRUE(controller.copyWithAuthority(unpacked, destination));
    EXPECT_TRUE(QFileInfo(destination + "/Contents/Linux/Scribora").isExecutable());
}

TEST_F(InstallLaunchTest, TheCloseButtonNeverClosesTheWindow) {
    EXPECT_FALSE(controller.windowShouldClose());
}

} // namespace
