#include "ZipFuzzCheck.h"
#include "ZipSeeds.h"
#include "ZipTestFixture.h"

#include <QDirIterator>

namespace {

// Every seed and saved fuzz finding extracts without leaving its destination, and many threads
// give what one gives: the result, log lines, reported items and, after a whole run, every item
// with its mode, contents or link target. In the clash, threads make the same new folders at
// once, and the big first "f" is still being written when the second "f" could be.
TEST_F(ZipTest, SeedsAndFindingsStayInsideAndThreadsChangeNothing) {
    ASSERT_GT(writeZipSeeds(folder + "/seeds"), 10);
    archive = folder + "/seeds/clash.zip";
    std::vector<ZipBuilder::Entry> clash;
    for (int i = 0; i < 64; ++i)
        clash.push_back({QByteArray::number(i / 4) + "/d/e/" + QByteArray::number(i), "x"});
    clash.push_back({"f", QByteArray(1 << 23, 'f')});
    clash.push_back({"f", "last", 0100750});
    build(clash);
    const QFileInfoList inputs = QDir(folder + "/seeds").entryInfoList(QDir::Files) +
                                 QDir(TQ_SOURCE_DIR "/fuzz/zip/corpus").entryInfoList(QDir::Files);
    int runs = 0;
    const auto extraction = [&](unsigned threads) {
        destination = box + QString("/%1").arg(++runs);
        log.clear();
        const QStringList lines =
            QStringList(unzip(true, threads) ? "done" : "failed") + log.lines() + outputs;
        QStringList items;
        for (QDirIterator it(destination,
                             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             lines.first() == "done" && it.hasNext();) {
            const QString path = it.next();
            const QFileInfo& info = it.fileInfo();
            items << QString("%1 %2 %3")
                         .arg(path)
                         .arg(mode(path), 0, 8)
                         .arg(info.isSymLink() ? info.symLinkTarget()
                                               : QString::number(qHash(read(path))));
        }
        items.sort();
        return (lines + items).replaceInStrings(destination, "out").join('\n').toStdString();
    };
    for (const QFileInfo& input : inputs) {
        archive = box + "/in.zip";
        QFile::remove(archive);
        ASSERT_TRUE(QFile::copy(input.filePath(), archive));
        EXPECT_EQ(extraction(1), extraction(4)) << input.fileName().toStdString();
        EXPECT_EQ(extractAndCheck(read(archive), folder + "/replay"), QString())
            << input.fileName().toStdString();
    }
}

} // namespace
