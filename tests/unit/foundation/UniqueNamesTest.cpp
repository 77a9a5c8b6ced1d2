#include "Extensions/URLExtension.h"
#include "LogCapture.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

class UniqueNamesTest : public testing::Test {
protected:
    void SetUp() override { folder = TestEnvironment::makeFolder(QStringLiteral("names")); }

    void touch(const QString& name) {
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void mkdir(const QString& name) { ASSERT_TRUE(QDir(folder).mkpath(name)); }
    QUrl folderURL() const { return QUrl::fromLocalFile(folder); }
    QStringList entries() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    QString folder;
};

TEST_F(UniqueNamesTest, GenerateNumbersTakenNamesBeforeTheLastExtensionAndCreatesNothing) {
    EXPECT_EQ(generateUniqueURL("Scribora.app", folderURL()).toLocalFile(),
              folder + "/Scribora.app");

    mkdir("Scribora.app");
    mkdir("Scribora (1).app");
    EXPECT_EQ(generateUniqueURL("Scribora.app", folderURL()).toLocalFile(),
              folder + "/Scribora (2).app");

    touch("Package");
    EXPECT_EQ(generateUniqueURL("Package", folderURL()).toLocalFile(), folder + "/Package (1)");

    touch("a.tar.gz");
    EXPECT_EQ(generateUniqueURL("a.tar.gz", folderURL()).toLocalFile(), folder + "/a.tar (1).gz");

    EXPECT_EQ(entries(), QStringList({"Package", "Scribora (1).app", "Scribora.app", "a.tar.gz"}));
}

TEST_F(UniqueNamesTest, NamesWithBlanksQuotesPercentAndNonAsciiLettersAreKept) {
    const QString name = QString::fromUtf8("Ünïcode \"%2\" 书.app");
    touch(name);
    EXPECT_EQ(generateUniqueURL(name, folderURL()).toLocalFile(),
              folder + QString::fromUtf8("/Ünïcode \"%2\" 书 (1).app"));

    const QUrl created = createUniqueDirectory(name, folderURL());
    EXPECT_EQ(created.toLocalFile(), folder + QString::fromUtf8("/Ünïcode \"%2\" 书 (1)"));
    EXPECT_TRUE(QFileInfo(created.toLocalFile()).isDir());
}

TEST_F(UniqueNamesTest, CreateDropsTheExtensionOnlyWhenNumbering) {
    const QUrl first = createUniqueDirectory("Scribora_7.1", folderURL());
    EXPECT_EQ(first.toLocalFile(), folder + "/Scribora_7.1");
    const QUrl second = createUniqueDirectory("Scribora_7.1", folderURL());
    EXPECT_EQ(second.toLocalFile(), folder + "/Scribora_7 (1)");
    const QUrl third = createUniqueDirectory("Scribora_7.1", folderURL());
    EXPECT_EQ(third.toLocalFile(), folder + "/Scribora_7 (2)");
    EXPECT_TRUE(QFileInfo(third.toLocalFile()).isDir());
}

TEST_F(UniqueNamesTest, LinksCountAsTakenEvenWhenDangling) {
    ASSERT_TRUE(QFile::link(folder + "/nowhere", folder + "/Product"));
    EXPECT_EQ(generateUniqueURL("Product", folderURL()).toLocalFile(), folder + "/Product (1)");
    EXPECT_EQ(createUniqueDirectory("Product", folderURL()).toLocalFile(), folder + "/Product (1)");
    EXPECT_FALSE(QFileInfo::exists(folder + "/nowhere"));
}

TEST_F(UniqueNamesTest, BadArgumentsGiveNothing) {
    touch("file");
    const QUrl fileURL = QUrl::fromLocalFile(folder + "/file");
    const QUrl missing = QUrl::fromLocalFile(folder + "/missing");

    for (const QUrl& directory : {fileURL, missing, QUrl("https://example.test/")}) {
        EXPECT_TRUE(generateUniqueURL("x", directory).isEmpty())
            << directory.toString().toStdString();
        EXPECT_TRUE(createUniqueDirectory("x", directory).isEmpty());
    }
    for (const QString& name : {QString(), QString(""), QString("../escape"), QString("a/b"),
                                QString(".."), QString(".")}) {
        EXPECT_TRUE(generateUniqueURL(name, folderURL()).isEmpty()) << name.toStdString();
        EXPECT_TRUE(createUniqueDirectory(name, folderURL()).isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(entries(), QStringList({"file"}));
}

TEST_F(UniqueNamesTest, CreateLogsWhenTheFolderCannotBeMade) {
    LogCapture log;
    EXPECT_TRUE(createUniqueDirectory(QString(300, QLatin1Char('x')), folderURL()).isEmpty());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith("createUniqueDirectory:directory:: "));
    EXPECT_TRUE(entries().isEmpty());
}

} // namespace
