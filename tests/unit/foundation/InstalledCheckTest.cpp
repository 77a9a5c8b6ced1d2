#include "BundleBuilder.h"
#include "Extensions/StringExtension.h"
#include "Installation/Installation.h"
#include "LogCapture.h"
#include "Platform/Bundle.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/SearchPaths.h"
#include "Platform/UserDefaults.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <optional>

namespace {

// The machine-wide applications folder rooted in the test's folder (or absent).
class RootedSearchPaths : public Platform::SearchPaths {
public:
    explicit RootedSearchPaths(QString machine, QString user = QString())
        : m_machine(std::move(machine)), m_user(std::move(user)) {}
    QString applicationDirectory(Platform::ApplicationsFolder folder) const override {
        if (folder != Platform::ApplicationsFolder::User)
            return m_machine;
        return m_user.isNull() ? SearchPaths::applicationDirectory(folder) : m_user;
    }

private:
    QString m_machine;
    QString m_user;
};

const QString productIdentifier = "com.example.Product";

class InstalledCheckTest : public testing::Test {
protected:
    void SetUp() override {
        root = TestEnvironment::makeFolder("installed");
        machine = root + "/opt";
        user = TestEnvironment::home() + "/Applications";
        QDir().mkpath(machine);
        QDir(user).removeRecursively();
        searchPaths.emplace(std::make_shared<RootedSearchPaths>(machine));

        const QString installer = root + "/Installer.app";
        BundleBuilder::writeInfo(installer, {{"InstallApplicationBundleID", productIdentifier}});
        mainBundle.emplace(std::make_shared<Platform::Bundle>(installer));
        (void)Platform::UserDefaults::standard().setString("ApplicationInstallDirectory", "");
    }
    QString product(const QString& folder, const QString& name, const QString& version,
                    const QString& identifier = productIdentifier) {
        return BundleBuilder::writeProduct(folder, name, identifier, version);
    }
    static QUrl file(const QString& path) { return QUrl::fromLocalFile(path); }

    QString root, machine, user;
    std::optional<Platform::ScopedReplacement<Platform::SearchPaths>> searchPaths;
    std::optional<Platform::ScopedReplacement<Platform::Bundle>> mainBundle;
};

TEST_F(InstalledCheckTest, TheProductTestNeedsTheIdentifierAndVersionSevenOrLater) {
    EXPECT_FALSE(Installation::isScriboraApplication(file(product(root, "Old.app", "6.5.2"))));
    EXPECT_TRUE(Installation::isScriboraApplication(file(product(root, "At.app", "7.0.0"))));
    EXPECT_TRUE(Installation::isScriboraApplication(file(product(root, "New.app", "7.1"))));
    EXPECT_FALSE(Installation::isScriboraApplication(
        file(product(root, "Other.app", "7.0.0", "com.example.Other"))));
    EXPECT_FALSE(Installation::isScriboraApplication(
        file(product(root, "Case.app", "7.0.0", "com.example.product"))));

    const QString binary = BundleBuilder::writeProduct(root, "Binary.app", productIdentifier, "8.0",
                                                       BundleBuilder::Format::Binary);
    EXPECT_TRUE(Installation::isScriboraApplication(file(binary)));

    const QString noVersion = root + "/NoVersion.app";
    BundleBuilder::writeInfo(noVersion, {{"CFBundleIdentifier", productIdentifier}});
    EXPECT_FALSE(Installation::isScriboraApplication(file(noVersion)));

    // A copy cut short, or one still being built under its hidden name, cannot be launched.
    const QString noProgram = product(root, "NoProgram.app", "7.0.0");
    QFile::remove(noProgram + "/Contents/Linux/product");
    EXPECT_FALSE(Installation::isScriboraApplication(file(noProgram)));
    const QString notExecutable = product(root, "NotExecutable.app", "7.0.0");
    QFile::setPermissions(notExecutable + "/Contents/Linux/product", QFile::ReadOwner);
    EXPECT_FALSE(Installation::isScriboraApplication(file(notExecutable)));
    EXPECT_FALSE(
        Installation::isScriboraApplication(file(product(root, ".P.app.partial-x1", "7.0.0"))));

    // The maker's minimum; one that does not parse counts as 7.0.0, with one log line.
    struct Row {
        const char* minimum;
        const char* version;
        bool recognised;
    };
    LogCapture log;
    for (const Row& row : {Row{"2.3.0", "2.3.0", true}, Row{"2.3.0", "2.2.9", false},
                           Row{"7.x", "7.0.0", true}, Row{"7.x", "6.9", false}}) {
        BundleBuilder::writeInfo(root + "/Installer.app",
                                 {{"InstallApplicationBundleID", productIdentifier},
                                  {"InstallApplicationMinimumVersion", row.minimum}});
        const QString name = QString("%1-%2.app").arg(row.minimum, row.version);
        EXPECT_EQ(Installation::isScriboraApplication(file(product(root, name, row.version))),
                  row.recognised)
            << name.toStdString();
    }
    EXPECT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
}

TEST_F(InstalledCheckTest, BrokenBundlesFailTheProductTestQuietly) {
    const QString malformed = root + "/Malformed.app";
    BundleBuilder::writeRawInfo(malformed, QByteArray("\xff\xfe garbage", 10));
    const QString noContents = root + "/Empty.app";
    QDir().mkpath(noContents);
    const QString plainFile = root + "/File.app";
    QFile(plainFile).open(QIODevice::WriteOnly);

    for (const QString& path : {malformed, noContents, plainFile, root + "/Missing.app"})
        EXPECT_FALSE(Installation::isScriboraApplication(file(path))) << path.toStdString();
    EXPECT_FALSE(Installation::isScriboraApplication(QUrl()));
}

TEST_F(InstalledCheckTest, TheScanTakesTheFirstQualifyingBundleOfTheMachineFolderThenTheUsers) {
    product(machine, "Old.app", "6.0");
    product(machine, "Other.app", "9.0", "com.example.Other");
    QDir().mkpath(machine + "/not-a-bundle");
    LogCapture log;
    Installation idle(Installation::systemCollaborators());
    idle.checkApplicationHasInstalled();
    EXPECT_TRUE(idle.installedApplicationURL().isEmpty());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();

    const QString inUser = product(user, "Mine.app", "7.0.0");
    Installation fromUser(Installation::systemCollaborators());
    fromUser.checkApplicationHasInstalled();
    EXPECT_EQ(fromUser.installedApplicationURL(), file(inUser));

    const QString inMachine = product(machine, "Renamed Anything", "7.2");
    Installation fromMachine(Installation::systemCollaborators());
    fromMachine.checkApplicationHasInstalled();
    EXPECT_EQ(fromMachine.installedApplicationURL(), file(inMachine));
}

TEST_F(InstalledCheckTest, LinksInTheFolderCountAsTheirBundleAndDanglingOnesArePassedOver) {
    const QString elsewhere = product(root, "Real.app", "7.0.0");
    ASSERT_TRUE(QFile::link(root + "/gone.app", machine + "/Dangling.app"));
    ASSERT_TRUE(QFile::link(elsewhere, machine + "/Link.app"));

    Installation controller(Installation::systemCollaborators());
    controller.checkApplicationHasInstalled();
    EXPECT_EQ(controller.installedApplicationURL(), file(machine + "/Link.app"));
}

TEST_F(InstalledCheckTest, TheRememberedCopyComesFirstAndIsDroppedWhenDeleted) {
    product(machine, "Scanned.app", "7.0.0");
    const QString remembered = product(root + "/chosen", "Chosen.app", "7.5");
    ASSERT_TRUE(
        Platform::UserDefaults::standard().setString("ApplicationInstallDirectory", remembered));

    Installation first(Installation::systemCollaborators());
    first.checkApplicationHasInstalled();
    EXPECT_EQ(first.installedApplicationURL(), file(remembered));

    QDir(remembered).removeRecursively();
    Installation second(Installation::systemCollaborators());
    second.checkApplicationHasInstalled();
    EXPECT_EQ(second.installedApplicationURL(), file(machine + "/Scanned.app"));
}

TEST_F(InstalledCheckTest, TheInstallFolderIsTheMachineFolderElseTheUsersCreatedOnDemand) {
    Installation controller(Installation::systemCollaborators());
    EXPECT_EQ(controller.applicationURL(), file(machine));

    const Platform::ScopedReplacement<Platform::SearchPaths> noMachineFolder(
        std::make_shared<RootedSearchPaths>(root + "/no-opt"));
    EXPECT_EQ(controller.applicationURL(), file(user));
    EXPECT_TRUE(QFileInfo(user).isDir());
}

TEST_F(InstalledCheckTest, AUserFolderThatCannotBeCreatedIsLoggedAndGivesNothing) {
    QFile blocker(root + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Platform::ScopedReplacement<Platform::SearchPaths> blockedUserFolder(
        std::make_shared<RootedSearchPaths>(root + "/no-opt", root + "/file/Applications"));

    LogCapture log;
    Installation controller(Installation::systemCollaborators());
    EXPECT_TRUE(controller.applicationURL().isEmpty());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(
        log.lines().first().startsWith("Cannot create the folder " + root + "/file/Applications"));
}

} // namespace
