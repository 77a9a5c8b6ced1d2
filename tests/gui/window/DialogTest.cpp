#include "WindowTestSupport.h"

#include "Controls/TQDialogBox.h"
#include "Controls/TQImageView.h"
#include "Controls/TQSheetOverlay.h"
#include "Controls/ViewExtension.h"
#include "Extensions/StringExtension.h"
#include "Installation/InstallationTable.h"
#include "TQWindowController.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QShortcut>
#include <QTextBrowser>
#include <gtest/gtest.h>

namespace {

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        layout = loadMainLayout();
        ASSERT_TRUE(layout);
        window = layout->window();
        window->move(200, 100);
        window->show();
    }

    [[nodiscard]] TQSheetOverlay* overlay() const {
        return window->centralWidget()->findChild<TQSheetOverlay*>(QString(),
                                                                   Qt::FindDirectChildrenOnly);
    }

    TestBundle bundle;
    std::unique_ptr<TQMainLayout> layout;
    QMainWindow* window = nullptr;
};

// What the sheet's shortcut for `key` does.
void press(QWidget* view, Qt::Key key) {
    for (QShortcut* shortcut : view->findChildren<QShortcut*>())
        if (shortcut->key() == QKeySequence(key))
            return Q_EMIT shortcut->activated();
}

void expectFitsAndNamed(QWidget* root, const QString& where) {
    // The layouts take their new texts; each pass may ask the one above for room. Counted, not
    // timed, so a loaded machine settles them the same.
    for (int pass = 0; pass < 5; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        const bool text = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget);
        if (!widget->isVisible() ||
            !(text || qobject_cast<TQImageView*>(widget) || qobject_cast<QProgressBar*>(widget) ||
              qobject_cast<QTextBrowser*>(widget)))
            continue;
        const QString name = where + " " + widget->objectName();
        EXPECT_FALSE(
            QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty())
            << name.toStdString();
        if (!text)
            continue;
        const QSize needed =
            widget->hasHeightForWidth()
                ? QSize(widget->minimumSizeHint().width(), widget->heightForWidth(widget->width()))
                : widget->sizeHint();
        EXPECT_LE(needed.width(), widget->width()) << name.toStdString();
        EXPECT_LE(needed.height(), widget->height()) << name.toStdString();
    }
}

} // namespace

TEST_F(DialogTest, TwoActionsShowTwoButtonsAndThePressedOneEndsTheSheetThenFreesTheDialog) {
    QPointer<TQDialogBox> dialog = new TQDialogBox();
    dialog->setTitle("Installation still in progress");
    dialog->setMessage("Are you sure?");
    QStringList calls;
    dialog->addAction("Continue", "", [&] {
        calls << "Continue";
        // The sheet has been asked to end before the callback runs.
        EXPECT_TRUE(visibleSheets().isEmpty());
        EXPECT_TRUE(dialog);
    });
    dialog->addAction("Quit", "", [&] { calls << "Quit"; });
    dialog->beginSheet(window);

    ASSERT_EQ(visibleSheets().size(), 1);
    TQMaskWindow* sheet = visibleSheets().first();
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), window);
    EXPECT_EQ(sheet->pos(),
              QPoint(window->geometry().x() + (window->geometry().width() - sheet->width()) / 2,
                     window->geometry().y()));
    EXPECT_TRUE(dialog->firstButton()->isVisible());
    EXPECT_TRUE(dialog->secondButton()->isVisible());
    EXPECT_FALSE(dialog->thirdButton()->isVisible());

    QPointer<TQSheetOverlay> fading(overlay());
    press(dialog->view(), Qt::Key_Enter);
    EXPECT_EQ(calls, QStringList{"Continue"});
    EXPECT_FALSE(dialog) << "the dialog frees itself after the callback";
    ASSERT_TRUE(fading);
    EXPECT_TRUE(waitFor([&] { return !fading; })) << "the overlay is removed after fading out";
}

TEST_F(DialogTest,
       EndingASheetPassesTheReturnCodeToItsHandlerAndAButtonWithoutCallbackOnlyDismisses) {
    auto* view = new QWidget();
    view->resize(300, 120);
    QList<int> codes;
    beginSheet(view, window, [&](int code) { codes << code; });
    ASSERT_EQ(visibleSheets().size(), 1);
    QPointer<QWidget> shown(view);
    endSheet(view, window, 7);
    EXPECT_EQ(codes, QList<int>{7});
    EXPECT_TRUE(visibleSheets().isEmpty());
    EXPECT_TRUE(waitFor([&] { return !shown && !overlay(); })) << "the sheet takes its view along";

    QPointer<TQDialogBox> dialog = new TQDialogBox();
    dialog->addAction("OK", "", [] {});
    dialog->setFirstHandle(nullptr);
    dialog->beginSheet(window);
    dialog->firstButton()->click();
    EXPECT_FALSE(dialog);
    EXPECT_TRUE(visibleSheets().isEmpty());
}

// In both languages and with a large desktop font, every label and button of the window
// and of the error dialog with each cause's message shows its whole text, and every control
// and image has a name for screen readers.
TEST_F(DialogTest, EveryTextFitsAndEveryControlHasANameInBothLanguagesAndWithALargeFont) {
    namespace T = InstallationTable;
    const QFont usual = QApplication::font();
    for (const char* language : {"en-US", "zh-CN"})
        for (const double scale : {1.0, 1.5}) {
            TestBundle bundle({language});
            QFont font = usual;
            font.setPointSizeF(usual.pointSizeF() * scale);
            QApplication::setFont(font);
            auto shown = loadMainLayout();
            ASSERT_TRUE(shown);
            shown->window()->show();
            shown->windowController()->installationStarted();
            shown->windowController()->updateProgressDetail(
                {InstallationProgress::Stage::Downloading, 12'400'000, 150'000'000, 1'250'000,
                 3540});
            const QString where = QString("%1 at %2x: ").arg(language).arg(scale);
            expectFitsAndNamed(shown->window(), where + "window");
            for (const QString& message :
                 {T::noConnectionMessage, T::refusedMessage, T::damagedMessage, T::diskFullMessage,
                  T::unwritableMessage}) {
                QString pressed;
                auto* dialog = new TQDialogBox();
                dialog->setTitle(localized("An error occurred during installation."));
                dialog->setMessage(formatted(localized(message), {"/opt/Scribora Apps"}));
                for (const char* title : {"Try Again", "Direct Download", "Quit"})
                    dialog->addAction(localized(title), "", [&, title] { pressed = title; });
                dialog->beginSheet(shown->window());
                expectFitsAndNamed(dialog->view(), where + message);
                press(dialog->view(),
                      message == T::refusedMessage ? Qt::Key_Return : Qt::Key_Escape);
                EXPECT_EQ(pressed, message == T::refusedMessage ? "Try Again" : "Quit");
            }
        }
    QApplication::setFont(usual);
}
