#include "LogCapture.h"
#include "Platform/SearchPaths.h"
#include "ReporterFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class InstallMarkerTest : public ReporterFixture {
protected:
    QString supportFolder() const {
        return Platform::SearchPaths::shared().applicationSupportDirectory();
    }
    QString markerPath() const { return supportFolder() + "/" + identifier + "/.GoogleReporter"; }
};

// Application support that the lookup cannot find.
class NoSupportFolder : public Platform::SearchPaths {
public:
    QString applicationSupportDirectory() const override { return QString(); }
};

TEST_F(InstallMarkerTest, CreatingTheMarkerLeavesAnEmptyFileAndIsIdempotent) {
    auto reporter = makeReporter();
    EXPECT_FALSE(reporter->checkWrapperTag());

    reporter->createWrapperTag();
    EXPECT_TRUE(reporter->checkWrapperTag());
    const QFileInfo marker(markerPath());
    ASSERT_TRUE(marker.isFile());
    EXPECT_EQ(marker.size(), 0);

    const QDateTime written = marker.lastModified();
    LogCapture log;
    reporter->createWrapperTag();
    EXPECT_EQ(QFileInfo(markerPath()).lastModified(), written);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(InstallMarkerTest, AFolderAtTheMarkerPathCountsAsTheMarker) {
    ASSERT_TRUE(QDir().mkpath(markerPath()));
    EXPECT_TRUE(makeReporter()->checkWrapperTag());
}

TEST_F(InstallMarkerTest, InstallersWithDifferentIdentifiersKeepSeparateMarkers) {
    makeReporter()->createWrapperTag();
    const QString firstIdentifier = identifier;
    identifier = "co.quintrel.test.other-" + firstIdentifier.right(6);
    writeSettings({});

    auto other = makeReporter();
    EXPECT_FALSE(other->checkWrapperTag());
    EXPECT_TRUE(other->isEnabled());
    other->createWrapperTag();
    EXPECT_TRUE(QFileInfo::exists(supportFolder() + "/" + firstIdentifier + "/.GoogleReporter"));
    EXPECT_TRUE(QFileInfo::exists(markerPath()));
}

TEST_F(InstallMarkerTest, AFileWhereTheFolderBelongsIsLoggedAndLeavesNoMarker) {
    QFile blocker(supportFolder() + "/" + identifier);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto reporter = makeReporter();

    LogCapture log;
    reporter->createWrapperTag();
    EXPECT_FALSE(reporter->checkWrapperTag());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith("createWrapperTag: ")) << qPrintable(log.lines()[0]);
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
}

TEST_F(InstallMarkerTest, NoSupportFolderOrNoUsableIdentifierMeansNoMarker) {
    auto reporter = makeReporter();
    {
        const Platform::ScopedReplacement<Platform::SearchPaths> noSupportFolder(
            std::make_shared<NoSupportFolder>());
        reporter->createWrapperTag();
        EXPECT_FALSE(reporter->checkWrapperTag());
    }

    for (const char* bad : {"", "..", "a/../../b"}) {
        identifier = bad;
        writeSettings({});
        reporter->createWrapperTag();
        EXPECT_FALSE(reporter->checkWrapperTag()) << bad;
    }
    EXPECT_FALSE(QFileInfo::exists(supportFolder() + "/.GoogleReporter"));
    EXPECT_FALSE(QFileInfo::exists(supportFolder() + "/../b"));
}

} // namespace
