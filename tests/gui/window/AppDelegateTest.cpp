#include "WindowTestSupport.h"

#include "BundleBuilder.h"
#include "Controls/TQDialogBox.h"
#include "Extensions/URLExtension.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct SentEvent {
    QString category;
    QString action;
    QString label;
    bool operator==(const SentEvent&) const = default;
};

// The delegate with its events recorded.
std::unique_ptr<AppDelegate> recordingDelegate(QList<SentEvent>* events) {
    return std::make_unique<AppDelegate>(
        nullptr, [events](const QString& category, const QString& action, const QString& label) {
            events->append({category, action, label});
        });
}

QPushButton* promptButton(const char* name) {
    const QList<TQMaskWindow*> sheets = visibleSheets();
    return sheets.size() == 1 ? sheets.first()->findChild<QPushButton*>(name) : nullptr;
}

QString promptTitle() {
    const QList<TQMaskWindow*> sheets = visibleSheets();
    QLabel* title = sheets.size() == 1 ? sheets.first()->findChild<QLabel*>("titleLabel") : nullptr;
    return title ? title->text() : QString();
}

class AppDelegateTest : public testing::Test {
protected:
    void SetUp() override {
        auto recording = recordingDelegate(&events);
        delegate = recording.get();
        layout = loadMainLayout(std::move(recording));
        ASSERT_TRUE(layout);
        layout->window()->show();
    }
    void TearDown() override { (void)testInstallation().stop(std::chrono::seconds(2)); }

    // An installation that runs for seconds: its link service answers nobody.
    void startInstalling() {
        BundleBuilder::writeInfo(bundle.path(),
                                 {{"PID", "1"}, {"LinkServiceURL", "https://127.0.0.1:9/"}});
        testInstallation().startInstall();
        ASSERT_TRUE(testInstallation().isInstalling());
    }

    // Runs the application's loop from `first` until something stops it; -1 when nothing
    // did within 10 s.
    static int runLoop(const std::function<void()>& first) {
        QTimer::singleShot(0, first);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        watchdog.start(10000);
        return QApplication::exec();
    }

    TestBundle bundle;
    QList<SentEvent> events;
    AppDelegate* delegate = nullptr;
    std::unique_ptr<TQMainLayout> layout;
};

} // namespace

TEST_F(AppDelegateTest, QuittingWithoutAnInstallationEndsAtOnceWithoutPromptOrEvent) {
    EXPECT_EQ(runLoop([this] { delegate->quitMenuItem()->trigger(); }), 0);
    EXPECT_TRUE(visibleSheets().isEmpty());
    EXPECT_TRUE(events.isEmpty());

    // The desktop's quit request and the Quit shortcut take the same way.
    EXPECT_EQ(runLoop([] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }), 0);
    EXPECT_EQ(delegate->quitMenuItem()->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(AppDelegateTest, DuringAnInstallationEveryQuitRequestPromptsUntilQuitIsChosen) {
    startInstalling();
    QPointer<QWidget> firstPrompt;
    const int result = runLoop([&] {
        delegate->quitMenuItem()->trigger();
        ASSERT_TRUE(promptButton("firstButton"));
        firstPrompt = visibleSheets().first();
        EXPECT_EQ(promptTitle(), "Installation still in progress");
        EXPECT_EQ(promptButton("firstButton")->text(), " Continue    ");
        EXPECT_EQ(promptButton("secondButton")->text(), " Quit    ");
        EXPECT_FALSE(promptButton("thirdButton")->isVisible());

        promptButton("firstButton")->click();
        EXPECT_EQ(events, (QList<SentEvent>{{"Quit", "Quit_Continue", QString()}}));
        EXPECT_TRUE(visibleSheets().isEmpty());

        // A later request prompts again, with a new prompt.
        QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
        QTimer::singleShot(50, [&] {
            ASSERT_TRUE(promptButton("secondButton"));
            EXPECT_NE(visibleSheets().first(), firstPrompt.data());
            promptButton("secondButton")->click();
        });
    });
    EXPECT_EQ(result, 0) << "Quit stops the application loop";
    EXPECT_EQ(events, (QList<SentEvent>{{"Quit", "Quit_Continue", QString()},
                                        {"Quit", "Quit_Quit", QString()}}));
    EXPECT_TRUE(events.last().label.isNull());

    // Confirmed: granted at once, without a prompt.
    EXPECT_EQ(delegate->applicationShouldTerminate(), AppDelegate::TerminateNow);
    EXPECT_TRUE(visibleSheets().isEmpty());
    EXPECT_EQ(events.size(), 2);
}

TEST_F(AppDelegateTest, CancelEndsTheInstallationAndTheQuitPromptThatAskedAboutIt) {
    startInstalling();
    delegate->quitMenuItem()->trigger();
    ASSERT_EQ(visibleSheets().size(), 1);
    layout->windowController()->cancelButton()->click();
    EXPECT_FALSE(testInstallation().isInstalling());
    EXPECT_EQ(layout->windowController()->installButton()->text(), "Install");
    EXPECT_TRUE(waitFor([] { return visibleSheets().isEmpty(); }));
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(AppDelegateTest, MenuItemsOpenTheProductsPagesAndOnlyDirectDownloadSendsAnEvent) {
    auto workspace = std::make_shared<RecordingWorkspace>();
    {
        const Platform::ScopedReplacement<Platform::Workspace> replaced(workspace);
        for (const char* name : {"productMenuItem", "helpMenuItem", "directDownloadMenuItem",
                                 "privacyPolicyMenuItem", "licenseMenuItem"})
            layout->window()->findChild<QAction*>(name)->trigger();
    }
    EXPECT_EQ(workspace->opened,
              (QList<QUrl>{productPageURL(), customerServiceURL(), directDMGPackageURL(),
                           privacyPolicyURL(), licenseURL()}));
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events.first().category, "Direct Download_Menu");
    EXPECT_TRUE(events.first().action.isNull());
    EXPECT_TRUE(events.first().label.isNull());
}

TEST(AppStartTest, TheSettingsNamesAndColourRebrandTheWindowMenusAndDialogInTheirLanguage) {
    TestBundle bundle({"zh-CN"});
    BundleBuilder::writeInfo(bundle.path(), {{"CFBundleDisplayName", "Quill & Ink"},
                                             {"CFBundleIdentifier", "com.example.Installer"},
                                             {"ProductName", "Fotolyn"},
                                             {"ProductSlogan", "Sharp pictures."},
                                             {"AccentColor", "#FF0000"}});
    BundleBuilder::writeLocalizedInfo(bundle.path(), "zh_CN", {{"ProductSlogan", "清晰"}});
    auto layout = loadMainLayout();
    ASSERT_TRUE(layout);
    AppDelegate* delegate = layout->delegate();
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(delegate->aboutMenuItem()->text(), QString::fromUtf8("关于 Quill && Ink(&A)"));
    EXPECT_EQ(delegate->hideMenuItem()->text(), QString::fromUtf8("隐藏 Quill && Ink(&H)"));
    EXPECT_EQ(delegate->quitMenuItem()->text(), QString::fromUtf8("退出 Quill && Ink(&Q)"));
    EXPECT_EQ(layout->window()->findChild<QMenu*>("helpMenu")->title(),
              QString::fromUtf8("帮助(&H)"));
    EXPECT_EQ(layout->window()->findChild<QMenu*>("applicationMenu")->title(), "&Fotolyn");
    EXPECT_EQ(layout->window()->findChild<QAction*>("productMenuItem")->text(),
              QString::fromUtf8("Fotolyn 官网(&F)"));
    EXPECT_EQ(layout->windowController()->titleLabel()->text(), "Fotolyn");
    EXPECT_EQ(layout->windowController()->sloganLabel()->text(), QString::fromUtf8("清晰"));
    EXPECT_TRUE(layout->windowController()->installButton()->styleSheet().contains("#ff0000"));
    TQDialogBox dialog;
    dialog.addAction("OK", "", [] {});
    EXPECT_TRUE(dialog.firstButton()->styleSheet().contains("#FF0000"));
}

TEST(AppStartTest, ALayoutWithoutAnOutletOrAnActionIsAStartUpErrorNamingIt) {
    TestBundle bundle;
    bundle.editLayout("MainMenu", "name=\"installButton\"", "name=\"startButton\"");
    bundle.editLayout("MainMenu", "name=\"licenseMenuItem\"", "name=\"bogusMenuItem\"");
    QString error;
    EXPECT_FALSE(TQMainLayout::load(&error, testInstallation()));
    EXPECT_TRUE(error.contains("installButton")) << error.toStdString();
    EXPECT_TRUE(error.contains("clickBogusMenuItem()")) << error.toStdString();

    TestBundle broken;
    QFile::remove(broken.path() + "/Contents/Resources/MainMenu.ui");
    EXPECT_FALSE(TQMainLayout::load(&error, testInstallation()));
    EXPECT_TRUE(error.contains("MainMenu.ui")) << error.toStdString();

    TestBundle dialog;
    dialog.editLayout("TQDialogBox", "name=\"firstButton\"", "name=\"okButton\"");
    EXPECT_FALSE(TQMainLayout::load(&error, testInstallation()));
    EXPECT_EQ(error, "The layout " + dialog.path() +
                         "/Contents/Resources/TQDialogBox.ui lacks the outlets firstButton");
}
