#pragma once

#include "LogCapture.h"
#include "TestEnvironment.h"
#include "Unarchiving/TQZip.h"
#include "ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

// An archive at <folder>/box/package.zip extracted into <folder>/box/out, so that an entry
// escaping by one or two levels lands where the test can see it.
class ZipTest : public testing::Test {
protected:
    void SetUp() override {
        folder = TestEnvironment::makeFolder(QStringLiteral("zip"));
        box = folder + QStringLiteral("/box");
        QDir().mkpath(box);
        archive = box + QStringLiteral("/package.zip");
        destination = box + QStringLiteral("/out");
    }

    void build(const std::vector<ZipBuilder::Entry>& entries) {
        ASSERT_FALSE(ZipBuilder::build(archive, entries).isEmpty());
    }
    bool unzip(bool overwrite = true, unsigned threads = TQZip::defaultThreads()) {
        progress.clear();
        outputs.clear();
        return TQZip::unzipFile(
            QUrl::fromLocalFile(archive), QUrl::fromLocalFile(destination), overwrite,
            [this](double value, double total) {
                progress.push_back({value, total});
            },
            [this](const QUrl& url) { outputs.append(url.toLocalFile()); }, {}, threads);
    }
    // Nothing but the package and the destination exists around the destination.
    void expectNothingOutside() const {
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList{"box"});
        const QStringList inBox =
            QDir(box).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        EXPECT_TRUE(inBox == QStringList({"out", "package.zip"}) ||
                    inBox == QStringList{"package.zip"})
            << inBox.join(',').toStdString();
    }
    QString out(const QString& name) const { return destination + u'/' + name; }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static mode_t mode(const QString& path) {
        struct stat status {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
    }
    bool logged(const char* line) const { return log.contains(QString::fromUtf8(line)); }

    static constexpr const char* unsafeLine = "解压失败：压缩包文件路径不安全";
    static constexpr const char* sizeLine = "解压失败：当前压缩包文件大小与解压文件大小不一致";
    static constexpr const char* noEntryLine = "解压失败：无法找到压缩包内文件";

    LogCapture log;
    QString folder, box, archive, destination;
    std::vector<std::pair<double, double>> progress;
    QStringList outputs;
};
