#include "InstallationFixture.h"

#include "BundleBuilder.h"
#include "Platform/Bundle.h"
#include "Platform/DiskImageTool.h"
#include "Platform/FileManager.h"
#include "Platform/UserDefaults.h"
#include "TestEnvironment.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"
#include "Unarchiving/TQZip.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrlQuery>

namespace {

const QString packagesFolder = QStringLiteral(TQ_BINARY_DIR "/examples");

QString startedLog() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Scribora/started.log");
}

} // namespace

void PrintTo(const Event& event, std::ostream* out) {
    *out << '{' << event.category.toStdString() << ", "
         << (event.action.isNull() ? "-" : event.action.toStdString()) << ", "
         << (event.label.isNull() ? "-" : event.label.toStdString()) << '}';
}

QList<Event> eventsOf(const RecordingHitTransport& transport) {
    QList<Event> events;
    for (const QUrl& hit : transport.hits()) {
        const QMap<QString, QString> pairs = hitPairs(hit);
        const auto value = [&](const char* key) {
            return pairs.contains(QLatin1String(key)) ? pairs.value(QLatin1String(key)) : QString();
        };
        events << Event{value("ec"), value("ea"), value("el")};
    }
    return events;
}

QString TestSearchPaths::applicationDirectory(Platform::ApplicationsFolder folder) const {
    if (folder == Platform::ApplicationsFolder::User)
        return SearchPaths::applicationDirectory(folder);
    return m_applications;
}

QString TestSearchPaths::desktopDataDirectory(Platform::ApplicationsFolder folder) const {
    if (folder == Platform::ApplicationsFolder::User)
        return SearchPaths::desktopDataDirectory(folder);
    return m_applications.isNull() ? QString() : QFileInfo(m_applications).path() + "/share";
}

bool RecordingWorkspace::openURL(const QUrl& url) {
    if (url.isLocalFile())
        return Workspace::openURL(url);
    webAddresses << url;
    return true;
}

void RecordingView::selectInstallDirectory(std::function<void(const QUrl&)> answer) {
    ++panels;
    answer(answers.isEmpty() ? QUrl() : answers.takeFirst());
}

void InstallationTest::SetUp() {
    root = TestEnvironment::makeFolder(QStringLiteral("installation"));
    applications = root + QStringLiteral("/Applications");
    QDir().mkpath(applications);
    searchApplicationsIn(applications);
    diskImageTool.emplace(std::make_shared<Platform::DiskImageTool>(
        QStringLiteral(TQ_BUNDLE_DIR "/Contents/Linux/hdiutil")));
    writeInstallerSettings();
    // Scribora, started for real, quits by itself and needs no display.
    qputenv("SCRIBORA_QUIT_AFTER_MS", "300");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ASSERT_TRUE(server.isRunning());
    server.handle(QStringLiteral("/go.php"), [this](const HttpsTestServer::Request& request) {
        const QString code = QUrlQuery(request.query).queryItemValue(QStringLiteral("m"));
        const QString target = code == QLatin1String("c1") ? packagePath
                               : code == QLatin1String("c5")
                                   ? packagePath + ".sig"
                                   : QStringLiteral("/packages/Scribora.dmg");
        return HttpsTestServer::Reply{302, {}, {{"Location", target.toUtf8()}}};
    });
    serveExample(QStringLiteral("Scribora.zip"));
    serveExample(QStringLiteral("Scribora.dmg"));
    session = std::make_shared<Platform::URLSession>(Platform::URLSession::Configuration{
        std::chrono::milliseconds(5000), std::chrono::seconds(1), server.certificatePath()});
    transport = std::make_shared<RecordingHitTransport>();
    reporter = std::make_unique<TQGoogleReporter>(transport);
    reporter->configure(QStringLiteral("UA-1-1"));
    workspace = std::make_shared<RecordingWorkspace>();
    unzip = Installation::systemCollaborators().unzip;
    unarchiveDiskImage = Installation::systemCollaborators().unarchiveDiskImage;
    runPrivileged = [](const QString&, const QStringList&) { return 126; };
    restart();
}

void InstallationTest::TearDown() {
    installation.reset();
    downloader.reset();
    reporter.reset();
    searchPaths.reset();
    diskImageTool.reset();
    mainBundle.reset();
}

void InstallationTest::searchApplicationsIn(const QString& folder) {
    searchPaths.reset();
    searchPaths.emplace(std::make_shared<TestSearchPaths>(folder));
}

void InstallationTest::restart() {
    installation.reset();
    downloader = std::make_unique<TQDownloader>(root + QStringLiteral("/downloads"), session);
    downloader->setRetryPause(std::chrono::milliseconds(0));
    auto readings = std::make_shared<std::atomic<int>>(0);
    installation = std::make_unique<Installation>(Installation::Collaborators{
        *downloader, *reporter, Platform::FileManager::shared(), *workspace, unzip,
        unarchiveDiskImage, runPrivileged, [readings] { return 0.25 * ++*readings; }});
    view = RecordingView();
    installation->setView(&view);
    transport->clear();
    log.clear();
    QFile::remove(startedLog());
    (void)Platform::UserDefaults::standard().setString(
        QStringLiteral("ApplicationInstallDirectory"), QString());
}

void InstallationTest::writeInstallerSettings(const QVariantMap& extra) {
    QVariantMap settings{
        {QStringLiteral("CFBundleName"), QStringLiteral("Scribora Installer")},
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.orvanta.Scribora.Installer")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0.0")},
        {QStringLiteral("CFBundleVersion"), QStringLiteral("100")},
        {QStringLiteral("PID"), QStringLiteral("1234")},
        {QStringLiteral("InstallApplicationBundleID"), QStringLiteral("com.orvanta.Scribora")},
        {QStringLiteral("LinkServiceURL"), server.url(QStringLiteral("/")).toString()},
    };
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        settings.insert(it.key(), it.value());
    const QString installer = root + QStringLiteral("/Installer.app");
    BundleBuilder::writeInfo(installer, settings);
    // Its tools are the build's.
    QFile::link(TQ_BUNDLE_DIR "/Contents/Linux", installer + QStringLiteral("/Contents/Linux"));
    mainBundle.reset();
    mainBundle.emplace(std::make_shared<Platform::Bundle>(installer));
}

void InstallationTest::linkPackageTo(const QString& path) {
    packagePath = path;
}

void InstallationTest::serveExample(const QString& name) {
    server.serveFile(QStringLiteral("/packages/") + name, packagesFolder + QLatin1Char('/') + name);
}

QString InstallationTest::copyOfScribora(const QString& folder) const {
    QDir().mkpath(folder);
    const QString copy = folder + QStringLiteral("/Scribora.app");
    QString error;
    EXPECT_TRUE(Platform::FileManager::shared().copyItemAtPath(
        packagesFolder + QStringLiteral("/Scribora.app"), copy, &error))
        << error.toStdString();
    return copy;
}

QStringList InstallationTest::scriboraStarts() {
    QFile file(startedLog());
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

bool InstallationTest::waitForRest() {
    using State = Installation::State;
    const bool settled = waitFor([this] {
        const State state = installation->state();
        return (state == State::Finished || state == State::Failed || state == State::Idle) &&
               !installation->isInstalling() == (state != State::Failed) &&
               downloader->waitUntilIdle(std::chrono::milliseconds(0));
    });
    // What the stages left for the main thread.
    QCoreApplication::processEvents();
    return settled;
}

QStringList InstallationTest::applicationsEntries() const {
    return QDir(applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
