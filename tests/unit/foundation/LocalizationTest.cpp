#include "Extensions/StringExtension.h"
#include "Platform/Bundle.h"
#include "Platform/Locale.h"
#include "Platform/ScopedReplacement.h"

#include <gtest/gtest.h>

namespace {

// Runs against the installer bundle of this build, with its compiled translation tables.
class LocalizationTest : public testing::Test {
protected:
    void TearDown() override { Platform::Locale::setPreferredLanguages({}); }

    const Platform::ScopedReplacement<Platform::Bundle> mainBundle{
        std::make_shared<Platform::Bundle>(TQ_BUNDLE_DIR)};
};

TEST_F(LocalizationTest, TheFirstPreferredLanguageWithATableIsUsed) {
    Platform::Locale::setPreferredLanguages({"fr-FR", "zh-CN"});
    EXPECT_EQ(localized("Install"), QString::fromUtf8("安装"));
    EXPECT_EQ(localized("About %@"), QString::fromUtf8("关于 %@"));

    Platform::Locale::setPreferredLanguages({"zh"});
    EXPECT_EQ(localized("Launch"), QString::fromUtf8("启动"));
}

TEST_F(LocalizationTest, TextsWithoutAnEntryAndEnglishUsersGetTheSourceText) {
    Platform::Locale::setPreferredLanguages({"zh-CN"});
    EXPECT_EQ(localized("No such key in the table"), "No such key in the table");
    EXPECT_EQ(localized(""), "");

    Platform::Locale::setPreferredLanguages({"en-GB", "zh-CN"});
    EXPECT_EQ(localized("Install"), "Install");

    const Platform::ScopedReplacement<Platform::Bundle> missing(
        std::make_shared<Platform::Bundle>("/nonexistent/Installer.app"));
    Platform::Locale::setPreferredLanguages({"zh-CN"});
    EXPECT_EQ(localized("Install"), "Install");
}

TEST(PathNameTest, ExtensionsFollowTheLastDotOfTheLastComponent) {
    EXPECT_EQ(pathExtension("Product.Dmg"), "Dmg");
    EXPECT_EQ(pathExtension("/a.b/c"), "");
    EXPECT_EQ(pathExtension(".hidden"), "");
    EXPECT_EQ(stringByDeletingPathExtension("a.tar.gz"), "a.tar");
    EXPECT_EQ(stringByDeletingPathExtension("/x.y/Product"), "/x.y/Product");
    EXPECT_EQ(lastPathComponent("/tmp/Scribora.app/"), "Scribora.app");
}

} // namespace
