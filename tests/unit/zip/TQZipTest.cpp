#include "ZipTestFixture.h"

#include <QDateTime>
#include <array>

namespace {

using Entry = ZipBuilder::Entry;

Entry file(const QByteArray& name, const QByteArray& data, uint32_t mode = ZipBuilder::fileMode) {
    return {name, data, mode};
}
Entry folderEntry(const QByteArray& name, uint32_t mode = ZipBuilder::directoryMode) {
    return {name, {}, mode};
}

TEST_F(ZipTest, MissingPackageAndUpperCaseExtensionReturnNoWithoutLogging) {
    archive = box + "/absent.zip";
    EXPECT_FALSE(unzip());
    archive = box + "/package.ZIP";
    build({file("a.txt", "a")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(destination));
}

TEST_F(ZipTest, NestedFoldersAreCreatedAtExtractionTime) {
    build({file("a/b/readme.txt", "hello\n")});
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    ASSERT_TRUE(unzip());
    EXPECT_EQ(read(out("a/b/readme.txt")), "hello\n");
    for (const char* name : {"a", "a/b"}) {
        EXPECT_TRUE(QFileInfo(out(name)).isDir()) << name;
        EXPECT_GE(QFileInfo(out(name)).lastModified(), before) << name;
    }
}

TEST_F(ZipTest, ModesWithTheOwnerReadBitAreAppliedOthersLeftAlone) {
    build({file("tool", "#!/bin/sh\n", 0100755),
           file("doc", "d", 0100600),
           file("writeOnly", "w", 0100200),
           file("setuid", "s", 0104755),
           file("shared", "g", 0100775),
           {"plain", "p", std::nullopt},
           folderEntry("locked/", 040700)});
    ::umask(022);
    ASSERT_TRUE(unzip());
    EXPECT_EQ(mode(out("tool")) & 07777, 0755u);
    EXPECT_EQ(mode(out("doc")) & 07777, 0600u);
    EXPECT_EQ(mode(out("writeOnly")) & 07777, 0644u);
    EXPECT_EQ(mode(out("setuid")) & 07777, 0755u);
    EXPECT_EQ(mode(out("shared")) & 07777, 0775u);
    EXPECT_EQ(mode(out("plain")) & 07777, 0644u);
    EXPECT_EQ(mode(out("locked")) & 07777, 0700u);
}

TEST_F(ZipTest, DirectoryEntriesGetCallbacksAndMustNotCarryData) {
    build({folderEntry("docs/", 040750)});
    ASSERT_TRUE(unzip());
    EXPECT_TRUE(QFileInfo(out("docs")).isDir());
    EXPECT_EQ(mode(out("docs")) & 07777, 0750u);
    EXPECT_EQ(outputs, QStringList{out("docs")});
    EXPECT_EQ(progress.size(), 2u);

    build({{"data/", "", ZipBuilder::directoryMode, false, std::nullopt, 10u}});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));
}

TEST_F(ZipTest, ProgressIsCalledOncePerEntryAndEndsAtOneHundred) {
    build({file("one", QByteArray(5000, '1')), folderEntry("two/"), file("two/three", "3"),
           file("four", QByteArray(20000, 'x'))});
    ASSERT_TRUE(unzip());
    ASSERT_EQ(progress.size(), 5u);
    double last = 0;
    for (size_t i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_GE(progress[i].first, last);
        EXPECT_LT(progress[i].first, 100.0);
        EXPECT_EQ(progress[i].second, 100.0);
        last = progress[i].first;
    }
    EXPECT_EQ(progress.back(), std::make_pair(100.0, 100.0));
    EXPECT_EQ(outputs, QStringList({out("one"), out("two"), out("two/three"), out("four")}));
}

TEST_F(ZipTest, OverwriteReplacesOrSkipsExistingFiles) {
    build({file("keep.txt", "new"), file("fresh.txt", "fresh")});
    QDir().mkpath(destination);
    QFile existing(out("keep.txt"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old, and longer than the new data");
    existing.close();
    existing.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

    ASSERT_TRUE(unzip(false));
    EXPECT_EQ(read(out("keep.txt")), "old, and longer than the new data");
    EXPECT_EQ(outputs, QStringList{out("fresh.txt")});
    EXPECT_EQ(progress.size(), 2u);

    ASSERT_TRUE(unzip(true));
    EXPECT_EQ(read(out("keep.txt")), "new");
    EXPECT_EQ(mode(out("keep.txt")) & 07777, 0644u);
    EXPECT_EQ(outputs, QStringList({out("keep.txt"), out("fresh.txt")}));
}

TEST_F(ZipTest, NotAnArchiveAndAnEmptyArchiveFindNoEntry) {
    QFile junk(archive);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("PK\x03\x04 but nothing more");
    junk.close();
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(noEntryLine));

    log.clear();
    ZipBuilder empty(archive);
    ASSERT_TRUE(empty.close());
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(noEntryLine));
    EXPECT_TRUE(progress.empty());
}

TEST_F(ZipTest, TruncatedOrDamagedArchivesFail) {
    const QByteArray whole = ZipBuilder::build(
        archive, {file("a", QByteArray(9000, 'a')), file("b", "b"), file("c", "c")});
    QByteArray secondRecordDamaged = whole;
    secondRecordDamaged[whole.indexOf("PK\x01\x02", whole.indexOf("PK\x01\x02") + 1)] = 'X';
    for (const QByteArray& bytes : {whole.left(whole.size() - 10), whole.left(whole.size() / 2),
                                    whole.left(30), secondRecordDamaged}) {
        QFile cut(archive);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(bytes);
        cut.close();
        log.clear();
        EXPECT_FALSE(unzip()) << bytes.size();
        EXPECT_EQ(log.lines().size(), 1) << bytes.size();
    }
    expectNothingOutside();
}

TEST_F(ZipTest, CorruptedCrcKeepsTheFileAndFailsAtClose) {
    build({{"f", "payload", ZipBuilder::fileMode, true, 0xdeadbeefu}});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged("解压失败：无法关闭当前压缩包文件"));
    EXPECT_EQ(read(out("f")), "payload");
}

TEST_F(ZipTest, DataThatInflatesShortOrLongFailsTheSizeCheck) {
    build({{"short", "payload", ZipBuilder::fileMode, true, std::nullopt, 100u}});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));

    for (const bool compress : {true, false}) {
        log.clear();
        build(
            {{"long", QByteArray(50000, 'z'), ZipBuilder::fileMode, compress, std::nullopt, 10u}});
        EXPECT_FALSE(unzip()) << compress;
        EXPECT_EQ(log.lines().size(), 1);
        EXPECT_LE(QFileInfo(out("long")).size(), 10) << compress;
    }
}

TEST_F(ZipTest, NamesThatAreNotUtf8FailAsEmptyPaths) {
    for (const QByteArray& name : {QByteArray("bad\xff.txt"), QByteArray("over\xc0\xaf"),
                                   QByteArray("\xed\xa0\x80surrogate")}) {
        build({file(name, "x")});
        log.clear();
        EXPECT_FALSE(unzip()) << name.toHex().constData();
        EXPECT_TRUE(logged("解压失败：压缩包文件路径为空"));
    }
}

TEST_F(ZipTest, NamesLeavingTheDestinationFailAndWriteNothingOutside) {
    for (const QByteArray& name :
         {QByteArray("/tmp/absolute"), QByteArray("../escape"), QByteArray("a/../../escape"),
          QByteArray("a/\\..\\..\\escape"), QByteArray("./.."), QByteArray("./")}) {
        build({file("first", "1"), file(name, "evil")});
        log.clear();
        EXPECT_FALSE(unzip()) << name.constData();
        EXPECT_TRUE(logged(unsafeLine)) << name.constData();
        EXPECT_EQ(read(out("first")), "1");
    }
    expectNothingOutside();
    EXPECT_FALSE(QFileInfo::exists("/tmp/absolute"));
}

// Every entry before the failing one is written and reported: the 32 before it are one
// thread's run, which goes on. The threads holding the runs after it end after the entry they
// hold, long before that run is done. The threads start together on the same new folders.
TEST_F(ZipTest, AFailingEntryStopsTheOtherThreads) {
    std::vector<Entry> entries;
    QStringList before;
    for (int i = 0; i < 96; ++i) {
        entries.push_back(file("a/b/c/d/e/f/" + QByteArray::number(i), QByteArray(1 << 18, 'x')));
        before << out("a/b/c/d/e/f/" + QString::number(i));
    }
    entries.insert(entries.begin() + 32, file("../escape", "evil"));
    build(entries);
    EXPECT_FALSE(unzip(true, 4));
    EXPECT_EQ(log.lines(), QStringList{QString::fromUtf8(unsafeLine)});
    EXPECT_EQ(outputs, before.mid(0, 32));
    EXPECT_LT(QDir(out("a/b/c/d/e/f")).entryList(QDir::Files).size(), 48);
}

TEST_F(ZipTest, BackslashesAreSeparatorsOnlyAfterASlash) {
    build({file("a/\\b", "ab"), file("dir\\file.txt", "one name")});
    ASSERT_TRUE(unzip());
    EXPECT_EQ(read(out("a/b")), "ab");
    EXPECT_EQ(read(out("dir\\file.txt")), "one name");
    EXPECT_EQ(outputs.first(), out("a//b"));
}

TEST_F(ZipTest, RelativeLinksInsideAreRestoredWithoutTheirModes) {
    build({folderEntry("F.framework/Versions/A/"),
           file("F.framework/Versions/A/F", "lib"),
           {"F.framework/Versions/Current", "A", 0120700},
           {"F.framework/F", "Versions/Current/F", ZipBuilder::linkMode},
           {"F.framework/Versions/A/Up", "../../F", ZipBuilder::linkMode},
           {"dangling", "nowhere", ZipBuilder::linkMode}});
    ASSERT_TRUE(unzip());
    EXPECT_EQ(QFile::symLinkTarget(out("F.framework/Versions/Current")),
              out("F.framework/Versions/A"));
    EXPECT_EQ(read(out("F.framework/F")), "lib");
    EXPECT_EQ(read(out("F.framework/Versions/A/Up")), "lib");
    EXPECT_TRUE(S_ISLNK(mode(out("dangling"))));
    EXPECT_TRUE(outputs.contains(out("F.framework/F")));
}

TEST_F(ZipTest, LinksLeadingOutsideFail) {
    for (const QByteArray& target :
         {QByteArray("/etc"), QByteArray("../../.."), QByteArray("sub/../../x"), QByteArray("")}) {
        build({folderEntry("sub/"), {"sub/l", target, ZipBuilder::linkMode}});
        log.clear();
        EXPECT_FALSE(unzip()) << target.constData();
        EXPECT_TRUE(logged(unsafeLine)) << target.constData();
        EXPECT_FALSE(QFileInfo::exists(out("sub/l"))) << target.constData();
    }
    expectNothingOutside();
}

TEST_F(ZipTest, NothingIsWrittenThroughALink) {
    QDir().mkpath(folder + "/victim");
    build({{"l", "sub", ZipBuilder::linkMode}, folderEntry("sub/"), file("l/f", "through")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(unsafeLine));
    EXPECT_FALSE(QFileInfo::exists(out("sub/f")));

    build({{"l", "target", ZipBuilder::linkMode}, file("target", "t"), file("l", "over")});
    log.clear();
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(unsafeLine));
    EXPECT_EQ(read(out("target")), "t");
}

TEST_F(ZipTest, ChainedLinksCannotClimbThroughEachOther) {
    // The second link climbs from where the first one leads, not from its own folder.
    for (const auto& [link, target, climber, climb] :
         {std::array{"d/l", "../e", "m", "d/l/../.."},
          std::array{"a/b/l", "../..", "a/b/m", "l/../.."}}) {
        build({folderEntry("e/"),
               {link, target, ZipBuilder::linkMode},
               {climber, climb, ZipBuilder::linkMode}});
        log.clear();
        EXPECT_FALSE(unzip()) << climber;
        EXPECT_TRUE(logged(unsafeLine)) << climber;
        EXPECT_FALSE(QFileInfo::exists(out(climber))) << climber;
    }

    build({folderEntry("d/"),
           folderEntry("e/"),
           {"d/l", "../e", ZipBuilder::linkMode},
           {"m", "d/l", ZipBuilder::linkMode},
           file("e/f", "inside")});
    ASSERT_TRUE(unzip());
    EXPECT_EQ(read(out("m/f")), "inside");
    expectNothingOutside();
}

TEST_F(ZipTest, EntriesCollidingWithEarlierItemsFail) {
    build({folderEntry("a/"), file("a", "file where a folder is")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));

    log.clear();
    build({file("b", "file"), file("b/c", "below a file")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));

    log.clear();
    build({file("c", "file"), folderEntry("c/")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));
    EXPECT_EQ(read(out("c")), "file");
}

TEST_F(ZipTest, VeryLongNames) {
    QByteArray deep;
    while (deep.size() < 3990)
        deep += "abcdefg/";
    build({file(deep + "leaf", "deep")});
    ASSERT_TRUE(unzip());
    EXPECT_EQ(read(out(QString::fromUtf8(deep + "leaf"))), "deep");

    build({file(QByteArray(4000, 'n'), "long")});
    EXPECT_FALSE(unzip());
    EXPECT_TRUE(logged(sizeLine));
}

TEST_F(ZipTest, AFolderPackedWithModesAndLinksComesBackTheSame) {
    const QString source = folder + "/source/Product.app/Contents";
    QDir().mkpath(source + "/Linux");
    QFile program(source + "/Linux/product");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n");
    program.close();
    ASSERT_EQ(::chmod(QFile::encodeName(program.fileName()).constData(), 0750), 0);
    ASSERT_EQ(::symlink("Linux/product", QFile::encodeName(source + "/current").constData()), 0);
    {
        ZipBuilder builder(archive);
        ASSERT_TRUE(builder.addFolder(folder + "/source", ""));
        ASSERT_TRUE(builder.close());
    }
    ASSERT_TRUE(unzip());
    EXPECT_EQ(mode(out("Product.app/Contents/Linux/product")) & 07777, 0750u);
    EXPECT_EQ(read(out("Product.app/Contents/current")), "#!/bin/sh\n");
    EXPECT_TRUE(S_ISLNK(mode(out("Product.app/Contents/current"))));
}

TEST_F(ZipTest, ChangeFilePermissionsSetsTheModeOrFallsBack) {
    const QString path = folder + "/item";
    QFile item(path);
    ASSERT_TRUE(item.open(QIODevice::WriteOnly));
    item.close();
    EXPECT_TRUE(TQZip::changeFilePermissions(QUrl::fromLocalFile(path), 0755));
    EXPECT_EQ(mode(path) & 07777, 0755u);
    EXPECT_TRUE(TQZip::changeFilePermissions(QUrl::fromLocalFile(path), 0600));
    EXPECT_EQ(mode(path) & 07777, 0600u);

    // The type bits cannot be set directly, and chmod refuses them.
    EXPECT_FALSE(TQZip::changeFilePermissions(QUrl::fromLocalFile(path), 0100644));
    EXPECT_FALSE(TQZip::changeFilePermissions(QUrl::fromLocalFile(folder + "/absent"), 0644));
}

} // namespace
