#include "ZipTestFixture.h"

namespace {

// The archive starts after a 4 GiB hole, so its entries need ZIP64 offsets (unzip -t accepts
// it). Debian 12's minizip 1.1 does not take the offset from the ZIP64 field and cannot open
// such an entry: the extraction ends with its one line, writing nothing.
TEST_F(ZipTest, Zip64ArchiveBeyondFourGigabytesFailsCleanly) {
    {
        ZipBuilder builder(archive, true, uint64_t(1) << 32);
        ASSERT_TRUE(builder.addFile("a.txt", "past 4 GiB"));
        ASSERT_TRUE(builder.close());
    }
    ASSERT_GT(QFileInfo(archive).size(), qint64(1) << 32);
    EXPECT_FALSE(unzip());
    EXPECT_EQ(log.lines(), QStringList{QString::fromUtf8("解压失败：无法打开当前压缩包文件")});
    EXPECT_FALSE(QFileInfo::exists(out("a.txt")));
    expectNothingOutside();
    QFile::remove(archive);
}

} // namespace
