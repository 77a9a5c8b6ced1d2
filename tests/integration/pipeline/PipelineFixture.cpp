#include "PipelineFixture.h"

#include "BundleBuilder.h"
#include "Platform/Bundle.h"
#include "Platform/FileManager.h"
#include "Platform/UserDefaults.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

QString TestSearchPaths::applicationDirectory(Platform::ApplicationsFolder folder) const {
    if (folder != Platform::ApplicationsFolder::User)
        return m_applications;
    return SearchPaths::applicationDirectory(folder);
}

bool RecordingWorkspace::openURL(const QUrl& url) {
    if (url.isLocalFile())
        return Workspace::openURL(url);
    std::lock_guard lock(m_mutex);
    m_opened.append(url);
    return true;
}

QList<QUrl> RecordingWorkspace::openedWebAddresses() const {
    std::lock_guard lock(m_mutex);
    return m_opened;
}

void PipelineTest::SetUp() {
    root = TestEnvironment::makeFolder("pipeline");
    applications = root + "/Applications";
    QDir().mkpath(applications);
    searchPaths.emplace(std::make_shared<TestSearchPaths>(applications));
    workspace = std::make_shared<RecordingWorkspace>();
    replacedWorkspace.emplace(workspace);
    writeInstallerSettings();
    (void)Platform::UserDefaults::standard().setString("ApplicationInstallDirectory", "");
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  "/Scribora/started.log");
    qputenv("SCRIBORA_QUIT_AFTER_MS", "300");
}

void PipelineTest::TearDown() {
    mainBundle.reset();
    replacedWorkspace.reset();
    searchPaths.reset();
    for (QWidget* widget : QApplication::topLevelWidgets())
        widget->close();
}

void PipelineTest::writeInstallerSettings(const QVariantMap& extra) {
    QVariantMap settings{
        {"CFBundleName", "Scribora Installer"},
        {"CFBundleIdentifier", "com.orvanta.Scribora.Installer"},
        {"CFBundleShortVersionString", "1.0.0"},
        {"CFBundleVersion", "100"},
        {"PID", "1234"},
        {"InstallApplicationBundleID", "com.orvanta.Scribora"},
        {"LinkServiceURL", "https://127.0.0.1:9/"},
    };
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        settings.insert(it.key(), it.value());
    // The built bundle's layouts, images, translations and tools, with settings of the test.
    const QString installer = root + "/Installer.app";
    QString error;
    if (!QFileInfo::exists(installer)) {
        EXPECT_TRUE(
            Platform::FileManager::shared().copyItemAtPath(TQ_BUNDLE_DIR, installer, &error))
            << error.toStdString();
    }
    BundleBuilder::writeInfo(installer, settings);
    mainBundle.emplace(std::make_shared<Platform::Bundle>(installer));
}

QString PipelineTest::copyOfScribora(const QString& folder) const {
    QDir().mkpath(folder);
    const QString copy = folder + "/Scribora.app";
    QString error;
    EXPECT_TRUE(Platform::FileManager::shared().copyItemAtPath(TQ_SCRIBORA_APP, copy, &error))
        << error.toStdString();
    return copy;
}

QStringList PipelineTest::scriboraStarts() {
    QFile file(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               "/Scribora/started.log");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList programs;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype at = line.indexOf("program=");
        if (at >= 0)
            programs << QString::fromUtf8(line.mid(at + 8));
    }
    return programs;
}

bool PipelineTest::waitFor(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(20000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QFileDialog* PipelineTest::directoryPanel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* panel = qobject_cast<QFileDialog*>(widget);
        if (panel && panel->objectName() == "selectInstallDirectoryPanel" && panel->isVisible())
            return panel;
    }
    return nullptr;
}

void PipelineTest::choose(QFileDialog* panel, const QString& directory) {
    panel->setDirectory(directory);
    static_cast<QDialog*>(panel)->accept();
}
