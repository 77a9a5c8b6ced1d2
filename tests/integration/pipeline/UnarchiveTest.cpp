#include "PipelineFixture.h"
#include "TQWindowController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class UnarchiveTest : public PipelineTest {
protected:
    QString package(const QString& name) {
        const QString path = root + "/downloads/" + name;
        QDir().mkpath(root + "/downloads");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a package");
        return path;
    }

    TQWindowController controller;
};

TEST_F(UnarchiveTest, AnUnknownExtensionIsRefusedAfterTheUnpackFolderWasMade) {
    for (const QString name : {"Product.pkg", "Product.app", "Package"}) {
        log.clear();
        controller.unarchive(QUrl::fromLocalFile(package(name)));
        EXPECT_TRUE(log.contains("安装失败：不支持的程序压缩包格式")) << qPrintable(name);
    }
    // Each attempt made its own folder beside the package, numbered when the name was taken.
    EXPECT_TRUE(QFileInfo(root + "/downloads/Product").isDir());
    EXPECT_TRUE(QFileInfo(root + "/downloads/Product (1)").isDir());
    EXPECT_TRUE(QFileInfo(root + "/downloads/Package (1)").isDir());
    EXPECT_TRUE(QFileInfo::exists(root + "/downloads/Product.pkg"));
    EXPECT_TRUE(QDir(applications).isEmpty());
}

TEST_F(UnarchiveTest, WithoutAnUnpackFolderTheStageEnds) {
    // Nothing can be created beside a package in /proc.
    controller.unarchive(QUrl::fromLocalFile("/proc/1/Product.zip"));
    EXPECT_TRUE(log.contains("安装失败：解压目录不存在"));
}

} // namespace
