#include "TestEnvironment.h"
#include "ZipFuzzCheck.h"
#include "ZipSeeds.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// Every seed and every saved fuzz finding extracts without leaving its destination.
TEST(ZipCorpus, SeedsAndSavedFindingsStayInsideTheDestination) {
    const QString seeds = TestEnvironment::makeFolder(QStringLiteral("seeds"));
    ASSERT_GT(writeZipSeeds(seeds), 10);
    QStringList inputs;
    for (const QString& folder : {seeds, QStringLiteral(TQ_SOURCE_DIR "/fuzz/zip/corpus")}) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files))
            inputs.append(dir.filePath(name));
    }
    const QString work = TestEnvironment::makeFolder(QStringLiteral("replay"));
    for (const QString& input : inputs) {
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << input.toStdString();
        EXPECT_EQ(extractAndCheck(file.readAll(), work), QString()) << input.toStdString();
    }
}

} // namespace
