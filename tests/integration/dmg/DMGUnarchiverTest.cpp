#include "DiskImages.h"
#include "LogCapture.h"
#include "Platform/Bundle.h"
#include "Platform/DiskImageTool.h"
#include "Platform/FileManager.h"
#include "Platform/ScopedReplacement.h"
#include "TestEnvironment.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

using namespace DiskImages;
using Platform::DiskImageTool;
using Platform::FileManager;
using Platform::ScopedReplacement;

// Steers what the unarchiver learns from the file system, recording what it asks.
class SteeredFileManager : public FileManager {
public:
    [[nodiscard]] bool isReadableFileAtPath(const QString& path) const override {
        return !path.endsWith("secret") && FileManager::isReadableFileAtPath(path);
    }
    [[nodiscard]] bool itemExistsAtPath(const QString& path) const override {
        std::lock_guard lock(m_mutex);
        m_probed.append(path);
        return m_probed.size() <= m_takenProbes || FileManager::itemExistsAtPath(path);
    }
    [[nodiscard]] std::optional<QStringList> listDirectory(const QString& path,
                                                           QString* error) const override {
        std::lock_guard lock(m_mutex);
        m_listed.append(path);
        return FileManager::listDirectory(path, error);
    }
    [[nodiscard]] QStringList probed() const {
        std::lock_guard lock(m_mutex);
        return m_probed;
    }
    [[nodiscard]] QStringList listed() const {
        std::lock_guard lock(m_mutex);
        return m_listed;
    }
    void takeFirstProbes(int count) { m_takenProbes = count; }

private:
    mutable std::mutex m_mutex;
    mutable QStringList m_probed;
    mutable QStringList m_listed;
    int m_takenProbes = 0;
};

struct Unarchived {
    bool result = false;
    std::vector<double> progress;
    QStringList log;
};

class DMGUnarchiverTest : public testing::Test {
protected:
    void SetUp() override { destination = TestEnvironment::makeFolder("destination"); }

    Unarchived unarchive(const QString& image) {
        Unarchived outcome;
        LogCapture log;
        outcome.result = TQDMGUnarchiver::unarchiveFile(
            QUrl::fromLocalFile(image), QUrl::fromLocalFile(destination),
            [&](double value, double total) {
                EXPECT_EQ(total, 100.0);
                outcome.progress.push_back(value);
            },
            [](const QUrl& url) {
                ADD_FAILURE() << "file output for " << url.toString().toStdString();
            });
        outcome.log = log.lines();
        return outcome;
    }

    [[nodiscard]] QStringList destinationItems() const {
        QStringList items =
            QDir(destination)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        items.sort();
        return items;
    }

    // The detach runs on after the call; wait for it to empty the Volumes folder.
    static bool volumesEmptyWithin(int milliseconds) {
        const QDir volumes(DiskImageTool::volumesDirectory());
        QElapsedTimer timer;
        timer.start();
        while (!volumes.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (timer.elapsed() > milliseconds)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    const ScopedReplacement<Platform::Bundle> mainBundle{
        std::make_shared<Platform::Bundle>(TQ_BUNDLE_DIR)};
    std::shared_ptr<SteeredFileManager> files = std::make_shared<SteeredFileManager>();
    const ScopedReplacement<FileManager> replacedFiles{files};
    QString destination;
};

TEST_F(DMGUnarchiverTest, TheBundleAndTheLinkAreCopiedAndTheImageDetached) {
    const QString outside = TestEnvironment::makeFolder("outside");
    writeFile(outside + "/precious", "keep");
    const Unarchived outcome = unarchive(pack(bundleVolume(outside), Kind::HfsZlib));
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.progress, std::vector<double>({12.5, 50, 75, 100, 100}));
    EXPECT_EQ(outcome.log, QStringList());
    EXPECT_EQ(destinationItems(),
              QStringList({"Applications", QString::fromUtf8("Scribora 书.app")}));
    EXPECT_EQ(linkTarget(destination + "/Applications"), outside);
    const QString app = destination + QString::fromUtf8("/Scribora 书.app");
    EXPECT_EQ(modeOf(app + "/Contents/Linux/scribora"), 0755u);
    EXPECT_TRUE(volumesEmptyWithin(60000));
    EXPECT_EQ(readAll(app + "/Contents/Info.plist"), "<plist>Scribora</plist>");
    EXPECT_EQ(QDir(outside).entryList(QDir::Files), QStringList({"precious"}));

    // The mount point was drawn fresh: 8-4-4-4-12 upper-case hex under the Volumes folder.
    ASSERT_EQ(files->listed().size(), 1);
    const QString mountPoint = files->listed().front();
    EXPECT_EQ(QFileInfo(mountPoint).path(), DiskImageTool::volumesDirectory());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")
                    .match(QFileInfo(mountPoint).fileName())
                    .hasMatch());
}

TEST_F(DMGUnarchiverTest, APrivateFolderOthersMayWriteToIsPassedOverForItsFallback) {
    const QString planted = QFileInfo(DiskImageTool::volumesDirectory()).path();
    ASSERT_TRUE(QDir().mkpath(planted));
    ASSERT_TRUE(QFile::setPermissions(planted, QFileDevice::Permissions(0x7777)));
    EXPECT_TRUE(unarchive(pack(bundleVolume(), Kind::HfsZlib)).result);
    EXPECT_TRUE(QDir(planted).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    ASSERT_EQ(files->listed().size(), 1);
    EXPECT_TRUE(files->listed().front().startsWith(planted + "."));
    EXPECT_TRUE(volumesEmptyWithin(60000));
}

TEST_F(DMGUnarchiverTest, ATakenMountPointIsDrawnAgain) {
    files->takeFirstProbes(2);
    const Unarchived outcome = unarchive(pack(bundleVolume(), Kind::IsoInUdif));
    EXPECT_TRUE(outcome.result);
    const QStringList probed = files->probed();
    ASSERT_GE(probed.size(), 3);
    QStringList firstThree = probed.mid(0, 3);
    firstThree.removeDuplicates();
    EXPECT_EQ(firstThree.size(), 3);
    EXPECT_EQ(files->listed(), QStringList({probed[2]}));
    EXPECT_TRUE(volumesEmptyWithin(60000));
}

TEST_F(DMGUnarchiverTest, ImagesTheToolRefusesAreReportedWithoutADetach) {
    const QString folder = TestEnvironment::makeFolder("refused");
    writeFile(folder + QString::fromUtf8("/Not an image 书.dmg"), "PK\x03\x04 not really");
    const QString image = folder + QString::fromUtf8("/Not an image 书.dmg");
    const Unarchived outcome = unarchive(image);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.progress, std::vector<double>({12.5, 50}));
    ASSERT_EQ(outcome.log.size(), 3) << outcome.log.join("\n").toStdString();
    EXPECT_TRUE(outcome.log[0].startsWith("hdiutil failed with code: 1 data: <<"));
    EXPECT_TRUE(outcome.log[0].endsWith(">>"));
    EXPECT_EQ(outcome.log[1], "Can't mount DMG");
    EXPECT_EQ(outcome.log[2],
              "Can't mount DMG " + QUrl::fromLocalFile(image).toString(QUrl::FullyEncoded));
    EXPECT_EQ(destinationItems(), QStringList());
    EXPECT_TRUE(QDir(DiskImageTool::volumesDirectory())
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(DMGUnarchiverTest, UnreadableItemsArePassedOverAndTheEndIsStillReported) {
    const QString volume = bundleVolume();
    writeFile(volume + "/secret", "hidden", 0600);
    const Unarchived outcome = unarchive(pack(volume, Kind::HfsZlib));
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.progress.back(), 100);
    EXPECT_EQ(destinationItems(),
              QStringList({"Applications", QString::fromUtf8("Scribora 书.app")}));
    EXPECT_TRUE(volumesEmptyWithin(60000));
}

TEST_F(DMGUnarchiverTest, AnItemAlreadyInTheDestinationStopsTheCopyButTheImageWasMounted) {
    const QString volume = TestEnvironment::makeFolder("single");
    QDir().mkpath(volume + "/Scribora.app/Contents");
    writeFile(volume + "/Scribora.app/Contents/Info.plist", "new");
    QDir().mkpath(destination + "/Scribora.app");
    writeFile(destination + "/Scribora.app/old", "old");
    const Unarchived outcome = unarchive(pack(volume, Kind::HfsZlib));
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.progress, std::vector<double>({12.5, 50, 100}));
    EXPECT_EQ(outcome.log, QStringList({"Can't mount DMG"}));
    EXPECT_EQ(QDir(destination + "/Scribora.app").entryList(QDir::Files), QStringList({"old"}));
    EXPECT_TRUE(volumesEmptyWithin(60000));
}

TEST_F(DMGUnarchiverTest, AToolThatCannotBeStartedCountsAsAPlatformFailure) {
    const ScopedReplacement<DiskImageTool> tool(
        std::make_shared<DiskImageTool>("/nonexistent/hdiutil"));
    const QString image = pack(bundleVolume(), Kind::HfsZlib);
    const Unarchived outcome = unarchive(image);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.progress, std::vector<double>());
    EXPECT_EQ(outcome.log, QStringList({"Can't mount DMG",
                                        "Can't mount DMG " + QUrl::fromLocalFile(image).toString(
                                                                 QUrl::FullyEncoded)}));
}

} // namespace
