#include "BundleBuilder.h"
#include "Extensions/BundleExtension.h"
#include "Extensions/URLExtension.h"
#include "LogCapture.h"
#include "Platform/Bundle.h"
#include "Platform/Locale.h"
#include "Platform/ScopedReplacement.h"
#include "TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>
#include <optional>

namespace {

class LinksTest : public testing::Test {
protected:
    void SetUp() override {
        bundlePath =
            TestEnvironment::makeFolder(QStringLiteral("links")) + QStringLiteral("/Inst.app");
        mainBundle.emplace(std::make_shared<Platform::Bundle>(bundlePath));
    }
    void TearDown() override {
        mainBundle.reset();
        Platform::Locale::setPreferredLanguages({});
    }
    void writeSettings(const QVariantMap& info) { BundleBuilder::writeInfo(bundlePath, info); }

    QString bundlePath;
    std::optional<Platform::ScopedReplacement<Platform::Bundle>> mainBundle;
};

TEST_F(LinksTest, LinksCarryThePidAndTheirCodeOnTheConfiguredService) {
    writeSettings({{"PID", "1234"}, {"LinkServiceURL", "https://links.example.test/"}});

    EXPECT_EQ(installPackageURL().toString(), "https://links.example.test/go.php?pid=1234&m=c1");
    EXPECT_EQ(directDMGPackageURL().toString(), "https://links.example.test/go.php?pid=1234&m=c2");
    EXPECT_EQ(privacyPolicyURL().query(), "pid=1234&m=c3");
    EXPECT_EQ(licenseURL().query(), "pid=1234&m=c4");
    EXPECT_EQ(customURL(42).query(), "pid=1234&m=c42");
}

TEST_F(LinksTest, APidThatBreaksTheAddressGivesNoLink) {
    for (const char* pid : {"12 34", "50%", "a\"b"}) {
        writeSettings({{"PID", pid}});
        EXPECT_TRUE(installPackageURL().isEmpty()) << pid;
        EXPECT_TRUE(licenseURL().isEmpty()) << pid;
    }
}

TEST_F(LinksTest, PageAddressesComeFromTheSettingsAndMustBeValid) {
    writeSettings({{"CustomerServiceURL", "https://help.example.test/ask"},
                   {"ProductPageURL", "https://www.example.test/pro duct"}});

    EXPECT_EQ(customerServiceURL().toString(), "https://help.example.test/ask");
    EXPECT_TRUE(productPageURL().isEmpty());

    writeSettings({});
    EXPECT_TRUE(customerServiceURL().isEmpty());
    EXPECT_TRUE(productPageURL().isEmpty());
}

TEST_F(LinksTest, LocalizedSettingsWinExceptForTheProductIdentifier) {
    writeSettings({{"PID", "1234"},
                   {"CFBundleDisplayName", "Scribora"},
                   {"InstallApplicationBundleID", "com.example.product"}});
    BundleBuilder::writeLocalizedInfo(bundlePath, "zh_CN",
                                      {{"PID", "5678"},
                                       {"CFBundleDisplayName", "书写"},
                                       {"InstallApplicationBundleID", "com.example.other"}});

    Platform::Locale::setPreferredLanguages({"zh-CN", "en"});
    EXPECT_EQ(productID(), "5678");
    EXPECT_EQ(bundleDisplayName(), QString::fromUtf8("书写"));
    EXPECT_EQ(installAppBundleID(), "com.example.product");
    EXPECT_EQ(installPackageURL().query(), "pid=5678&m=c1");

    Platform::Locale::setPreferredLanguages({"fr-FR"});
    EXPECT_EQ(productID(), "1234");
    EXPECT_EQ(bundleDisplayName(), "Scribora");
    Platform::Locale::setPreferredLanguages({"en-US", "zh-CN"}); // English like the texts
    EXPECT_EQ(bundleDisplayName(), "Scribora");
}

// {PID: "1", bomb: [[...]]}, tiny but 2^levels values as a tree: each array holds the next twice.
QByteArray doublingArrays(int levels) {
    QByteArrayList objects{"\xD2\x01\x03\x02\x04", "\x53PID", QByteArray("\x51") + '1',
                           QByteArray("\x54") + "bomb"};
    for (int i = 0; i < levels; ++i)
        objects += QByteArray("\xA2") + char(5 + i) + char(5 + i);
    objects += "\x51x";
    QByteArray bytes("bplist00"), offsets;
    for (const QByteArray& object : objects) {
        offsets += char(bytes.size());
        bytes += object;
    }
    return bytes + offsets + QByteArray(6, 0) + "\x01\x01" + QByteArray(7, 0) +
           char(objects.size()) + QByteArray(15, 0) + char(bytes.size());
}

TEST_F(LinksTest, UnreadableHugeOrDeepSettingsBehaveAsEmptyAndAreLoggedOnce) {
    QVariant deep = "bottom";
    for (int level = 0; level < 64; ++level) // under the top dictionary: 65 levels
        deep = QVariantList{deep};
    const QVariantMap deepInfo{{"PID", "1"}, {"deep", deep}};
    for (const QByteArray& bytes :
         {QByteArray("<plist><dict><key>PID</key><string>1"),
          BundleBuilder::serialize(deepInfo, BundleBuilder::Format::Xml),
          BundleBuilder::serialize(deepInfo, BundleBuilder::Format::Binary), doublingArrays(12),
          BundleBuilder::serialize({{"PID", "1"}, {"padding", QString(1 << 20, u'x')}},
                                   BundleBuilder::Format::Xml)}) {
        bundlePath = TestEnvironment::makeFolder(QStringLiteral("links")) + "/Inst.app";
        LogCapture log;
        BundleBuilder::writeRawInfo(bundlePath, bytes);
        mainBundle.reset();
        mainBundle.emplace(std::make_shared<Platform::Bundle>(bundlePath));

        EXPECT_TRUE(productID().isNull()) << bytes.left(200).toStdString();
        EXPECT_EQ(installPackageURL().query(), "pid=&m=c1");
        const QString line =
            "Cannot read the settings dictionary at " + bundlePath + "/Contents/Info.plist";
        EXPECT_EQ(log.lines().count(line), 1);
    }
}

} // namespace
