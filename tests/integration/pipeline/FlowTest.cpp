#include "AppDelegate.h"
#include "Controls/TQMainLayout.h"
#include "GoogleReporter/TQGoogleReporter.h"
#include "HttpsTestServer.h"
#include "PipelineFixture.h"
#include "Platform/UserDefaults.h"
#include "TQWindowController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QUrlQuery>

namespace {

const QString packagesFolder = TQ_BINARY_DIR "/examples";

// The whole installation against one scripted server that is the link service, the
// package server and the analytics collector.
class FlowTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        ASSERT_TRUE(server.isRunning());
        qputenv("CURL_CA_BUNDLE", QFile::encodeName(server.certificatePath()));
        const QString base = server.url("/").toString();
        writeInstallerSettings({{"LinkServiceURL", base},
                                {"AnalyticsBaseURL", base},
                                {"AnalyticsTrackerID", "UA-1-1"}});
        TQGoogleReporter::shared().configure("UA-1-1");
        server.handle("/go.php", [this](const HttpsTestServer::Request& request) {
            const QString code = QUrlQuery(request.query).queryItemValue("m");
            const QString target = code == "c1" ? packagePath : "/packages/Scribora.dmg";
            return HttpsTestServer::Reply{302, {}, {{"Location", target.toUtf8()}}};
        });
        server.handle("/collect", [](const HttpsTestServer::Request&) {
            return HttpsTestServer::Reply{200, {}, {}};
        });
        serve("Scribora.zip");
        serve("Scribora.dmg");
        QString error;
        layout = TQMainLayout::load(&error);
        ASSERT_TRUE(layout) << error.toStdString();
        layout->window()->show();
    }
    void TearDown() override {
        layout.reset();
        PipelineTest::TearDown();
    }
    void serve(const QString& name) {
        server.serveFile("/packages/" + name, packagesFolder + "/" + name);
    }

    // The event categories the collector received, in the order they arrived.
    QStringList categories() const {
        QStringList received;
        for (const HttpsTestServer::Request& request : server.requests("/collect"))
            received << QUrlQuery(request.query).queryItemValue("ec", QUrl::FullyDecoded);
        return received;
    }
    bool waitForIdle() {
        return waitFor([this] { return !controller().isInstalling(); });
    }
    TQWindowController& controller() const { return *layout->windowController(); }
    // Presses a button of the error dialog once it is shown.
    static bool answer(const QString& title) {
        QAbstractButton* button = nullptr;
        const bool shown = waitFor([&] {
            for (QWidget* widget : QApplication::allWidgets()) {
                auto* candidate = qobject_cast<QAbstractButton*>(widget);
                if (candidate && candidate->isVisible() && candidate->text().trimmed() == title)
                    button = candidate;
            }
            return button != nullptr;
        });
        if (shown)
            button->click();
        return shown;
    }

    HttpsTestServer server;
    QString packagePath = "/packages/Scribora.zip";
    std::unique_ptr<TQMainLayout> layout;
};

const QString extractionFailed = "安装失败：解压程序包失败";

TEST_F(FlowTest, AnInstallationDownloadsUnpacksInstallsAndLaunches) {
    controller().clickInstallButton();
    ASSERT_TRUE(controller().isInstalling());
    ASSERT_TRUE(waitForIdle());

    const QString installed = applications + "/Scribora.app";
    ASSERT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
    EXPECT_EQ(scriboraStarts().first(), installed + "/Contents/Linux/Scribora");
    EXPECT_EQ(QFileInfo(installed + "/Contents/Frameworks/ScriboraKit.framework/Versions/Current")
                  .symLinkTarget(),
              installed + "/Contents/Frameworks/ScriboraKit.framework/Versions/A");
    EXPECT_EQ(Platform::UserDefaults::standard().stringForKey("ApplicationInstallDirectory"),
              installed);
    EXPECT_TRUE(TQGoogleReporter::shared().checkWrapperTag());
    EXPECT_EQ(controller().installButtonTitle(), "Launch");
    EXPECT_TRUE(controller().installButton()->isVisible());
    EXPECT_FALSE(controller().progressBox()->isVisible());

    const QStringList sequence = {"Download_Number",       "Download_Success",
                                  "Download_TimeInterval", "Unarchive_TimeInterval",
                                  "Install_Success",       "Install_TimeInterval",
                                  "Launch_Success"};
    ASSERT_TRUE(waitFor([&] { return categories().size() >= sequence.size(); }));
    EXPECT_EQ(categories(), sequence);

    // "Launch" starts the installed copy again without installing or reporting.
    controller().clickInstallButton();
    EXPECT_FALSE(controller().isInstalling());
    ASSERT_TRUE(waitFor([] { return scriboraStarts().size() == 2; }));
    EXPECT_EQ(server.requests("/packages/Scribora.zip").size(), 1u);
    EXPECT_EQ(categories(), sequence);
    EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join("\n").toStdString();
}

TEST_F(FlowTest, TheDiskImageBranchFindsTheBundleBesideOtherItems) {
    packagePath = "/packages/Scribora.dmg";
    controller().clickInstallButton();
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(controller().installButtonTitle(), "Launch");
    EXPECT_TRUE(QFileInfo(applications + "/Scribora.app/Contents/Linux/Scribora").isExecutable());
    EXPECT_FALSE(QFileInfo::exists(applications + "/Read Me.txt"));
    EXPECT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
}

TEST_F(FlowTest, AFailedDownloadOrANonPackageEndsInTheDialogAndTryAgainStartsOver) {
    server.respond("/packages/Scribora.zip", 404, "<html>Not Found</html>");
    controller().clickInstallButton();
    ASSERT_TRUE(waitFor([this] { return log.contains("安装失败：压缩包下载失败"); }));

    // A body that is no archive fails the unpacking, with the label already at "Installing".
    server.serveBytes("/packages/Scribora.zip", "<html>Sorry</html>");
    ASSERT_TRUE(answer("Try Again"));
    ASSERT_TRUE(waitFor([this] { return log.contains(extractionFailed); }));
    ASSERT_TRUE(waitFor([this] { return controller().downloadLabell()->text() == "Installing"; }));

    serve("Scribora.zip");
    ASSERT_TRUE(answer("Try Again"));
    EXPECT_TRUE(controller().isInstalling());
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(controller().installButtonTitle(), "Launch");
    EXPECT_EQ(server.requests("/packages/Scribora.zip").size(), 3u);
    EXPECT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
}

TEST_F(FlowTest, DirectDownloadOpensTheDiskImageLinkAndQuitReturnsToInstall) {
    packagePath = "/packages/Scribora.pkg";
    server.serveBytes("/packages/Scribora.pkg", "not a package");
    controller().clickInstallButton();
    ASSERT_TRUE(waitFor([this] { return log.contains("安装失败：不支持的程序压缩包格式"); }));
    ASSERT_TRUE(answer("Direct Download"));
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(waitFor([&] { return categories().size() >= 5; }));
    EXPECT_EQ(categories(), QStringList({"Download_Number", "Download_Success",
                                         "Download_TimeInterval", "Install_Fail", "Error"}));
    const QUrlQuery failure(server.requests("/collect").at(3).query);
    EXPECT_EQ(failure.queryItemValue("ea", QUrl::FullyDecoded), "安装失败：不支持的程序压缩包格式");
    EXPECT_EQ(failure.queryItemValue("el", QUrl::FullyDecoded), "pkg");
    ASSERT_EQ(workspace->openedWebAddresses().size(), 1);
    EXPECT_EQ(QUrlQuery(workspace->openedWebAddresses().first()).queryItemValue("m"), "c2");
    EXPECT_EQ(controller().installButtonTitle(), "Install");

    log.clear();
    controller().clickInstallButton();
    ASSERT_TRUE(waitFor([this] { return log.contains("安装失败：不支持的程序压缩包格式"); }));
    ASSERT_TRUE(answer("Quit"));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(controller().installButtonTitle(), "Install");
    EXPECT_TRUE(scriboraStarts().isEmpty());
    EXPECT_TRUE(QDir(applications).isEmpty());
}

} // namespace
