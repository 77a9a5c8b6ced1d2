#include "Platform/Workspace.h"
#include "BundleBuilder.h"
#include "PipelineFixture.h"

#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

namespace {

using WorkspaceTest = PipelineTest;

TEST_F(WorkspaceTest, OpeningABundleStartsItsProgramDetachedInASessionOfItsOwn) {
    const QString bundle = copyOfScribora(root + "/unpacked");
    Platform::Workspace desktop;
    ASSERT_TRUE(desktop.openURL(QUrl::fromLocalFile(bundle)));
    ASSERT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
    EXPECT_EQ(scriboraStarts().first(), bundle + "/Contents/Linux/Scribora");

    QFile log(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
              "/Scribora/started.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray line = log.readLine();
    EXPECT_FALSE(line.contains(QByteArray("sid=") + QByteArray::number(getsid(0)) + ' '))
        << line.constData();

    QString error;
    EXPECT_TRUE(desktop.launchApplication(QUrl::fromLocalFile(bundle), &error));
    EXPECT_TRUE(error.isNull());
    EXPECT_TRUE(waitFor([] { return scriboraStarts().size() == 2; }));
}

TEST_F(WorkspaceTest, ABundleWithoutAProgramForThisSystemIsNotOpened) {
    Platform::Workspace desktop;
    const QString noKey = root + "/NoKey.app";
    BundleBuilder::writeInfo(noKey, {{"CFBundleIdentifier", "com.orvanta.Scribora"}});
    const QString missing = root + "/Missing.app";
    BundleBuilder::writeInfo(missing, {{"CFBundleExecutable", "Missing"}});
    const QString plainFile = copyOfScribora(root + "/plain");
    QFile::setPermissions(plainFile + "/Contents/Linux/Scribora",
                          QFile::ReadOwner | QFile::WriteOwner);
    const QString escaping = copyOfScribora(root + "/escaping");
    BundleBuilder::writeInfo(escaping, {{"CFBundleExecutable", "../../../../../../bin/true"}});

    for (const QString& bundle : {noKey, missing, plainFile, escaping, root + "/Nothing.app"}) {
        QString error;
        EXPECT_FALSE(desktop.openURL(QUrl::fromLocalFile(bundle))) << qPrintable(bundle);
        EXPECT_FALSE(desktop.launchApplication(QUrl::fromLocalFile(bundle), &error));
        EXPECT_TRUE(error.contains(bundle)) << qPrintable(error);
    }
    EXPECT_TRUE(scriboraStarts().isEmpty());
}

} // namespace
