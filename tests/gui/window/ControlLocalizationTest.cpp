#include "WindowTestSupport.h"

#include "Extensions/StringExtension.h"
#include "Localization/TQLocalization.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

const QString chinese(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

TEST(ControlLocalizationTest, ButtonsAndTextFieldsLocalizeWhatTheyHold) {
    TestBundle bundle({"zh-CN"});
    QPushButton button("Install");
    button.setToolTip("Quit");
    localizeStrings(&button);
    EXPECT_EQ(button.text(), chinese("安装"));
    EXPECT_EQ(button.toolTip(), chinese("退出"));
    localizeStrings(&button); // the translated title is looked up again, as a key
    EXPECT_EQ(button.text(), chinese("安装"));

    QPushButton plain;
    localizeStrings(&plain);
    EXPECT_TRUE(plain.toolTip().isEmpty());
    EXPECT_TRUE(plain.text().isEmpty());

    QLabel label("Downloading");
    localizeStrings(&label);
    EXPECT_EQ(label.text(), chinese("正在下载"));
    QLineEdit field("Installing");
    field.setPlaceholderText("Continue");
    localizeStrings(&field);
    EXPECT_EQ(field.text(), chinese("正在安装"));
    EXPECT_EQ(field.placeholderText(), chinese("继续"));
}

TEST(ControlLocalizationTest, PatternsAreFilledAfterLookupInOrderOrByPosition) {
    EXPECT_EQ(formatted("About %@", {"Scribora"}), "About Scribora");
    EXPECT_EQ(formatted("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(formatted("only %@", {"a", "b"}), "only a");
    EXPECT_EQ(formatted("%@ and %@", {"a"}), "a and %@");
    EXPECT_EQ(formatted("50%", {}), "50%");
    EXPECT_EQ(formatted("%2$@ und %1$@, %@, %3$@", {"a", "b"}), "b und a, a, %3$@");
}
