#include "WindowTestSupport.h"

#include "BundleBuilder.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "TQWindowController.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

struct Fragment {
    QString text;
    QString href;
    QTextCharFormat format;
};

QList<Fragment> fragments(QTextDocument* document) {
    QList<Fragment> result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            result.append({it.fragment().text(), it.fragment().charFormat().anchorHref(),
                           it.fragment().charFormat()});
    return result;
}

QString linkedText(const QList<Fragment>& parts, const QUrl& url) {
    QString text;
    for (const Fragment& part : parts)
        if (part.href == url.toString())
            text += part.text;
    return text;
}

} // namespace

TEST(WindowTest, TheButtonReadsInstallWithoutAnInstalledCopyAndLaunchWithOne) {
    TestBundle bundle;
    auto idle = loadMainLayout();
    ASSERT_TRUE(idle);
    TQWindowController* controller = idle->windowController();
    EXPECT_EQ(controller->installButton()->text(), "Install");
    EXPECT_TRUE(controller->installation().installedApplicationURL().isEmpty());
    EXPECT_TRUE(controller->progressBox()->isHidden());

    const QString product = BundleBuilder::writeProduct(
        TestEnvironment::home() + "/Applications", "Scribora.app", "com.orvanta.Scribora", "7.1.0");
    auto installed = loadMainLayout();
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->windowController()->installButton()->text(), "Launch");
    EXPECT_EQ(installed->windowController()->installation().installedApplicationURL(),
              QUrl::fromLocalFile(product));
    QDir(product).removeRecursively();
}

TEST(WindowTest, TheLicenceLineLinksTheFirstOccurrenceOfEachWordInItsOwnStyle) {
    TestBundle bundle;
    auto layout = loadMainLayout();
    ASSERT_TRUE(layout);
    QTextDocument* document = layout->windowController()->messageTextView()->document();
    EXPECT_EQ(document->toPlainText(), "By installing, you agree to the Privacy Policy and EULA");
    const QList<Fragment> parts = fragments(document);
    EXPECT_EQ(linkedText(parts, privacyPolicyURL()), "Privacy Policy");
    EXPECT_EQ(linkedText(parts, licenseURL()), "EULA");

    // "AGB: ... Datenschutz und AGB": the word at the start is the first occurrence.
    TestBundle german({"de-DE"});
    auto twice = loadMainLayout();
    ASSERT_TRUE(twice);
    const QList<Fragment> germanParts =
        fragments(twice->windowController()->messageTextView()->document());
    ASSERT_FALSE(germanParts.isEmpty());
    EXPECT_EQ(germanParts.first().text, "AGB");
    EXPECT_EQ(germanParts.first().href, licenseURL().toString());
    EXPECT_EQ(linkedText(germanParts, licenseURL()), "AGB");
    EXPECT_EQ(linkedText(germanParts, privacyPolicyURL()), "Datenschutz");

    // A translation taking an argument its text lacks shows the text.
    TestBundle french({"fr-FR"});
    EXPECT_EQ(localized("Hide %@"), "Hide %@");
}

TEST(WindowTest, ClickingALinkOpensItsAddressThroughTheWorkspace) {
    TestBundle bundle;
    auto workspace = std::make_shared<RecordingWorkspace>();
    const Platform::ScopedReplacement<Platform::Workspace> replaced(workspace);
    auto layout = loadMainLayout();
    ASSERT_TRUE(layout);
    Q_EMIT layout->windowController()->messageTextView()->anchorClicked(licenseURL());
    EXPECT_EQ(workspace->opened, QList<QUrl>{licenseURL()});
}

class ProgressTest : public testing::Test {
protected:
    void SetUp() override {
        layout = loadMainLayout();
        ASSERT_TRUE(layout);
        controller = layout->windowController();
        controller->setClock([this] { return now; });
        QObject::connect(controller->progressBar(), &QProgressBar::valueChanged,
                         [this] { ++barUpdates; });
    }

    QString label() const { return controller->progressLabel()->text(); }
    void settle() {
        (void)waitFor([] { return false; }, 30);
    }

    TestBundle bundle;
    std::unique_ptr<TQMainLayout> layout;
    TQWindowController* controller = nullptr;
    double now = 100.0;
    int barUpdates = 0;
};

TEST_F(ProgressTest, ValuesShowWithOneDecimalAndTheDropRulesHold) {
    controller->progressLabel()->setText("untouched");
    controller->updateProgress(0); // the stored value is 0 already
    settle();
    EXPECT_EQ(label(), "untouched");

    controller->updateProgress(42.46);
    ASSERT_TRUE(waitFor([&] { return label() == "42.5%"; }));
    EXPECT_EQ(controller->progressBar()->value(), 42);

    now = 101.0;
    controller->updateProgress(42.5); // less than 0.1 points from what is shown
    settle();
    EXPECT_EQ(label(), "42.5%");

    controller->updateProgress(90);
    ASSERT_TRUE(waitFor([&] { return label() == "90.0%"; }));
    EXPECT_EQ(controller->progressBar()->value(), 90);
}

TEST_F(ProgressTest, AValueTooSoonIsShownOnceTheIntervalHasPassed) {
    controller->updateProgress(95);
    ASSERT_TRUE(waitFor([&] { return label() == "95.0%"; }));
    const int before = barUpdates;

    // The end of an installation: the final 100 and the reset to 0 come in a burst.
    now = 100.01;
    controller->updateProgress(100);
    now = 100.02;
    controller->updateProgress(0);
    settle();
    EXPECT_EQ(label(), "95.0%") << "nothing within 0.1 s of the last update";

    now = 100.2;
    ASSERT_TRUE(waitFor([&] { return label() == "0.0%"; }));
    EXPECT_EQ(controller->progressBar()->value(), 0);
    settle();
    EXPECT_EQ(barUpdates, before + 1) << "only the latest value of the burst is shown";
}

TEST_F(ProgressTest, AFloodReachesTheWindowAtMostTenTimesASecond) {
    // The clock moves 1 ms per report: 2,000 reports span 2 s.
    for (int i = 1; i <= 2000; ++i) {
        now = 100.0 + i * 0.001;
        controller->updateProgress(i * 0.05);
    }
    now = 103.0;
    ASSERT_TRUE(waitFor([&] { return label() == "100.0%"; }));
    EXPECT_LE(barUpdates, 22);
    EXPECT_GE(barUpdates, 18);
}

TEST_F(ProgressTest, TheLineUnderTheBarTellsBytesSpeedTimeLeftRetryingAndTheStage) {
    using Stage = InstallationProgress::Stage;
    const std::vector<std::pair<InstallationProgress, QString>> rows = {
        {{Stage::Downloading, 0, -1}, ""},
        {{Stage::Downloading, 12'400'000, 150'000'000}, "12.4 MB of 150 MB"},
        {{Stage::Downloading, 999'999, -1, 2'500}, "1.0 MB · 2.5 KB/s"},
        {{Stage::Downloading, 12'400'000, 150'000'000, 1'240'000, 110.2},
         "12.4 MB of 150 MB · 1.2 MB/s · 2 min left"},
        {{Stage::Downloading, 140'000'000, 150'000'000, 1'240'000, 8.1},
         "140 MB of 150 MB · 1.2 MB/s · 9 s left"},
        {{Stage::Downloading, 12'400'000, 150'000'000, 1'240'000, 110, true},
         "12.4 MB of 150 MB · Retrying…"},
        {{Stage::Unpacking}, "Unpacking…"},
        {{Stage::Installing}, "Installing…"},
    };
    for (const auto& [detail, text] : rows) {
        controller->updateProgressDetail(detail);
        EXPECT_EQ(controller->progressDetailLabel()->text(), text);
    }
}

TEST(WindowTest, TheCloseButtonMinimizesTheWindowAndNeverClosesIt) {
    TestBundle bundle;
    auto layout = loadMainLayout();
    ASSERT_TRUE(layout);
    QMainWindow* window = layout->window();
    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
}

TEST(WindowTest, DraggingTheImagesOrTheBackgroundMovesTheWindow) {
    TestBundle bundle;
    auto layout = loadMainLayout();
    ASSERT_TRUE(layout);
    QMainWindow* window = layout->window();
    window->move(100, 100);
    window->show();
    ASSERT_TRUE(waitFor([&] { return window->pos() == QPoint(100, 100); }));
    TQImageView* icon = layout->windowController()->iconImageView();
    EXPECT_TRUE(icon->mouseDownCanMoveWindow());
    EXPECT_FALSE(icon->pixmap().isNull());

    const QPointF local(10, 10);
    const QPointF start = icon->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, start, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(icon, &press);
    QMouseEvent move(QEvent::MouseMove, local + QPointF(30, 20), start + QPointF(30, 20),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(icon, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, local + QPointF(30, 20),
                        start + QPointF(30, 20), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(icon, &release);
    EXPECT_EQ(window->pos(), QPoint(130, 120));
}
