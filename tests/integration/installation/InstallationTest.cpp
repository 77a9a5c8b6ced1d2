#include "InstallationFixture.h"

#include "BundleBuilder.h"
#include "Installation/InstallationTable.h"
#include "LinkCheck.h"
#include "Platform/Process.h"
#include "Platform/UserDefaults.h"
#include "TestEnvironment.h"
#include "Unarchiving/TQZip.h"
#include "ZipBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <condition_variable>

namespace {

using State = Installation::State;
namespace T = InstallationTable;

// The exit status of a tool, 127 when it cannot be run. Not QProcess: its fork in a threaded
// test process trips the thread sanitizer.
int runTool(const QString& tool, const QStringList& arguments, QByteArray* output = nullptr) {
    Platform::Process process;
    process.setLaunchPath(QStandardPaths::findExecutable(tool));
    process.setArguments(arguments);
    process.setStandardOutput(Platform::Process::Stream::Pipe);
    process.setStandardErrorToOutput();
    if (!process.launch())
        return 127;
    const QByteArray text = process.readStandardOutputToEnd().value_or(QByteArray());
    if (output)
        *output = text;
    return process.waitUntilExit() ? process.terminationStatus() : 127;
}

const QString any = QStringLiteral("<any>");
const QString quarter = QStringLiteral("0.25");

// The events of a successful installation up to the launch, whose action is `launched`.
QList<Event> installedAndLaunched(const QString& launched) {
    return {{T::downloadNumber, {}, {}},
            {T::downloadSuccess, {}, {}},
            {T::downloadTimeInterval, quarter, {}},
            {T::unarchiveTimeInterval, quarter, {}},
            {T::installSuccess, {}, {}},
            {T::installTimeInterval, quarter, {}},
            {T::launchSuccess, launched, {}}};
}

QList<Event> signatureRefused(const QString&) {
    return {{T::downloadNumber, {}, {}}, {T::downloadFail, T::signatureInvalid, T::signatureLabel}};
}

// `actual` as `expected`, where <any> stands for any text that was sent.
bool matches(const QList<Event>& actual, const QList<Event>& expected) {
    const auto same = [](const QString& a, const QString& e) {
        return e == any ? !a.isNull() : a == e;
    };
    return actual.size() == expected.size() &&
           std::equal(actual.cbegin(), actual.cend(), expected.cbegin(),
                      [&](const Event& a, const Event& e) {
                          return a.category == e.category && same(a.action, e.action) &&
                                 same(a.label, e.label);
                      });
}

QString zipOf(const QString& path, const std::function<void(ZipBuilder&)>& fill) {
    ZipBuilder zip(path);
    fill(zip);
    EXPECT_TRUE(zip.close());
    return path;
}

// An extractor that, at its first report past `from` percent, waits until the installation is
// stopped; `reportsAfterStop` counts the reports that came after it, which an extraction that
// ends at the stop has none of (but the closing 100 when it was stopped at its last item).
Installation::Extractor pausingPast(double from, Installation::Extractor extractor,
                                    std::atomic<bool>& paused, std::atomic<int>& reportsAfterStop) {
    return [from, extractor, &paused, &reportsAfterStop](
               const QUrl& package, const QUrl& destination,
               const std::function<void(double, double)>& progress, std::stop_token stop) {
        return extractor(
            package, destination,
            [&, stop](double value, double total) {
                progress(value, total);
                if (paused && value < 100)
                    ++reportsAfterStop;
                if (value <= from || paused.exchange(true))
                    return;
                std::mutex mutex;
                std::condition_variable_any stopped;
                std::unique_lock lock(mutex);
                stopped.wait(lock, stop, [] { return false; });
            },
            stop);
    };
}

class OutcomeTest;

struct Outcome {
    const char* label;
    std::function<void(OutcomeTest&)> arrange;
    // The events expected, given the applications folder.
    std::function<QList<Event>(const QString& applications)> events;
    State state;
    QStringList installed;
    // Neither the package nor anything unpacked from it is left in the download folder.
    bool downloadsCleared = false;
    QString message{}; // the error dialog's, when given
};

class OutcomeTest : public InstallationTest {
public:
    using InstallationTest::files;
    using InstallationTest::searchApplicationsIn;
    QString root() const { return InstallationTest::root; }
    QString applicationsFolder() const { return applications; }
    HttpsTestServer& scripted() { return server; }
    void link(const QString& path) { linkPackageTo(path); }
    void settings(const QVariantMap& extra) { writeInstallerSettings(extra); }
    void answer(const QUrl& directory) { answers << directory; }
    void extractWith(Installation::Extractor extractor) { unzip = std::move(extractor); }
    void copyAsAdministratorWith(Installation::PrivilegedRunner runner) {
        runPrivileged = std::move(runner);
    }
    // The installer carries the demo packages' key; c5 leads to `signature`.
    void requireSignature(const QByteArray& signature) {
        writeInstallerSettings(
            {{"PackagePublicKey",
              QString::fromLatin1(demoFile("demo-signing-key.pem.pub").trimmed())}});
        server.serveBytes(packagePath + ".sig", signature);
    }
    static QByteArray demoFile(const QString& name) {
        QFile file(TQ_BINARY_DIR "/examples/" + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void run(const Outcome& outcome);

private:
    QList<QUrl> answers;
};

void OutcomeTest::run(const Outcome& outcome) {
    writeInstallerSettings();
    searchApplicationsIn(applications);
    QDir(applications).removeRecursively();
    QDir().mkpath(applications);
    unzip = Installation::systemCollaborators().unzip;
    files->failingMoves.clear();
    linkPackageTo(QStringLiteral("/packages/Scribora.zip"));
    serveExample(QStringLiteral("Scribora.zip"));
    outcome.arrange(*this);
    if (outcome.downloadsCleared)
        QDir(InstallationTest::root + "/downloads").removeRecursively();
    restart();
    view.answers = std::exchange(answers, {});

    installation->clickInstallButton();
    const QList<Event> expected = outcome.events(applications);
    EXPECT_TRUE(waitForRest()) << outcome.label;
    EXPECT_TRUE(waitFor([&] { return eventsOf(*transport).size() >= expected.size(); }))
        << outcome.label;
    EXPECT_TRUE(matches(eventsOf(*transport), expected))
        << outcome.label << "\n  sent:     " << testing::PrintToString(eventsOf(*transport))
        << "\n  expected: " << testing::PrintToString(expected);
    EXPECT_EQ(installation->state(), outcome.state) << outcome.label;
    EXPECT_EQ(applicationsEntries(), outcome.installed) << outcome.label;
    if (outcome.downloadsCleared) {
        const QDir downloads(InstallationTest::root + "/downloads");
        EXPECT_EQ(downloads.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList())
            << outcome.label;
    }
    // The window saw the start and, unless a dialog waits, the end.
    EXPECT_EQ(view.shown.value(0), "started") << outcome.label;
    EXPECT_EQ(view.dialogs, outcome.state == State::Failed ? 1 : 0) << outcome.label;
    if (!outcome.message.isEmpty()) {
        EXPECT_EQ(view.messages.value(0), outcome.message) << outcome.label;
    }
    EXPECT_TRUE(std::all_of(view.progress.cbegin(), view.progress.cend(),
                            [](double value) { return value >= 0 && value <= 100; }));
}

TEST_F(OutcomeTest, EachStageSendsItsEventsAndEndsInTheRightState) {
    const std::vector<Outcome> outcomes = {
        {"a ZIP package is downloaded, unpacked, installed and launched",
         [](OutcomeTest&) {},
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora.app");
         },
         State::Finished,
         {"Scribora.app"}},
        {"a disk image's bundle is found beside its other items",
         [](OutcomeTest& t) { t.link("/packages/Scribora.dmg"); },
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora.app");
         },
         State::Finished,
         {"Scribora.app"}},
        {"the bundle is taken over the other items beside it",
         [](OutcomeTest& t) {
             // Several items, so the folder's listing is unlikely to begin with the bundle.
             const QString zip = zipOf(t.root() + "/ReadMeFirst.zip", [](ZipBuilder& z) {
                 z.addDirectory("__MACOSX/");
                 for (const char* name : {"Read Me.txt", "License.txt", "a.txt", "b.txt", "c.txt",
                                          "d.txt", "e.txt", "f.txt", "g.txt"})
                     z.addFile(name, "read me");
                 z.addFolder(TQ_BINARY_DIR "/examples/Scribora.app", "Scribora.app/");
             });
             t.scripted().serveFile("/packages/ReadMeFirst.zip", zip);
             t.link("/packages/ReadMeFirst.zip");
         },
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora.app");
         },
         State::Finished,
         {"Scribora.app"}},
        {"an existing copy is kept and the new one gets a numbered name",
         [](OutcomeTest& t) {
             BundleBuilder::writeProduct(t.applicationsFolder(), "Scribora.app",
                                         "com.orvanta.Scribora", "6.0");
         },
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora (1).app");
         },
         State::Finished,
         {"Scribora (1).app", "Scribora.app"}},
        {"without a package address the downloader is not asked",
         [](OutcomeTest& t) {
             t.settings({{"PID", "no link"}});
         },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}}, {T::downloadFail, T::downloadAddressEmpty, {}}};
         },
         State::Failed,
         {}},
        {"a refused download ends in the dialog",
         [](OutcomeTest& t) { t.scripted().respond("/packages/Scribora.zip", 404, "<html/>"); },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}}, {T::downloadFail, T::downloadFailed, {}}};
         },
         State::Failed,
         {},
         false,
         "The server refused the download (HTTP status 404). Please try again later."},
        {"a body that is no archive fails the unpacking",
         [](OutcomeTest& t) { t.scripted().serveBytes("/packages/Scribora.zip", "<html/>"); },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}},
                     {T::downloadSuccess, {}, {}},
                     {T::downloadTimeInterval, quarter, {}},
                     {T::installFail, T::extractionFailed, {}}};
         },
         State::Failed,
         {},
         false,
         T::damagedMessage},
        {"an unknown package kind is refused with its extension",
         [](OutcomeTest& t) {
             t.scripted().serveBytes("/packages/Scribora.pkg", "pkg");
             t.link("/packages/Scribora.pkg");
         },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}},
                     {T::downloadSuccess, {}, {}},
                     {T::downloadTimeInterval, quarter, {}},
                     {T::installFail, T::unsupportedPackage, "pkg"}};
         },
         State::Failed,
         {}},
        {"a disk image without a bundle reports its listing",
         [](OutcomeTest& t) {
             const QString folder = t.root() + "/no-bundle";
             QDir().mkpath(folder);
             QFile readMe(folder + "/Read Me.txt");
             EXPECT_TRUE(readMe.open(QIODevice::WriteOnly));
             readMe.close();
             EXPECT_EQ(runTool(TQ_BINARY_DIR "/tools/udif/tq_pack_dmg",
                               {folder, t.root() + "/NoBundle.dmg"}),
                       0);
             t.scripted().serveFile("/packages/NoBundle.dmg", t.root() + "/NoBundle.dmg");
             t.link("/packages/NoBundle.dmg");
         },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}},
                     {T::downloadSuccess, {}, {}},
                     {T::downloadTimeInterval, quarter, {}},
                     {T::installFail, T::bundleMissing, "(\"Read Me.txt\")"}};
         },
         State::Failed,
         {}},
        {"a copy that cannot be put in place asks for a folder, and nothing is left there",
         [](OutcomeTest& t) {
             t.files->failingMoves = "Scribora"; // the unpacked bundle's and the hidden copy's
             QDir().mkpath(t.applicationsFolder() + "/.Scribora.app.partial-a1b2c3/Contents");
         },
         [](const QString& applications) -> QList<Event> {
             return {{T::downloadNumber, {}, {}},
                     {T::downloadSuccess, {}, {}},
                     {T::downloadTimeInterval, quarter, {}},
                     {T::unarchiveTimeInterval, quarter, {}},
                     {T::installFail, any, {}},
                     {T::selectInstallDirectory, {}, {}},
                     {T::installFail, T::copyFailed, applications + "/Scribora.app"}};
         },
         State::Idle,
         {}},
        {"a folder chosen after a failed administrator copy takes over",
         [](OutcomeTest& t) {
             // Not writable even for the administrator; the prompt's copy fails there.
             t.searchApplicationsIn("/proc/1");
             t.copyAsAdministratorWith([](const QString&, const QStringList&) { return 1; });
             t.answer(QUrl::fromLocalFile(t.applicationsFolder()));
         },
         [](const QString& applications) {
             QList<Event> events = installedAndLaunched(applications + "/Scribora.app");
             events.insert(4, {T::selectInstallDirectory, applications, {}});
             return events;
         },
         State::Finished,
         {"Scribora.app"}},
        {"a bundle that cannot be opened fails the launch",
         [](OutcomeTest& t) {
             const QString zip = zipOf(t.root() + "/NoProgram.zip", [](ZipBuilder& z) {
                 z.addFile("Scribora.app/Contents/Info.plist",
                           BundleBuilder::serialize({{"CFBundleIdentifier", "com.orvanta.Scribora"},
                                                     {"CFBundleShortVersionString", "7.1.0"}},
                                                    BundleBuilder::Format::Xml));
             });
             t.scripted().serveFile("/packages/NoProgram.zip", zip);
             t.link("/packages/NoProgram.zip");
         },
         [](const QString&) -> QList<Event> {
             return {{T::downloadNumber, {}, {}},
                     {T::downloadSuccess, {}, {}},
                     {T::downloadTimeInterval, quarter, {}},
                     {T::unarchiveTimeInterval, quarter, {}},
                     {T::installSuccess, {}, {}},
                     {T::installTimeInterval, quarter, {}},
                     {T::launchFail, {}, any}};
         },
         State::Failed,
         {"Scribora.app"}},
        {"a signed package is verified and installed",
         [](OutcomeTest& t) { t.requireSignature(t.demoFile("Scribora.zip.sig")); },
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora.app");
         },
         State::Finished,
         {"Scribora.app"}},
        {"a package with one byte flipped is refused and deleted",
         [](OutcomeTest& t) {
             QByteArray zip = t.demoFile("Scribora.zip");
             zip[zip.size() / 2] = char(zip[zip.size() / 2] ^ 1);
             t.scripted().serveBytes("/packages/Scribora.zip", zip);
             t.requireSignature(t.demoFile("Scribora.zip.sig"));
         },
         signatureRefused,
         State::Failed,
         {},
         true},
        {"the signature of another package is refused",
         [](OutcomeTest& t) { t.requireSignature(t.demoFile("Scribora.dmg.sig")); },
         signatureRefused,
         State::Failed,
         {},
         true},
        {"a missing signature is refused",
         [](OutcomeTest& t) {
             t.requireSignature({});
             t.scripted().respond("/packages/Scribora.zip.sig", 404, "<html/>");
         },
         signatureRefused,
         State::Failed,
         {},
         true},
        {"an error page instead of a signature is refused",
         [](OutcomeTest& t) { t.requireSignature("<html><body>Not Found</body></html>\n"); },
         signatureRefused,
         State::Failed,
         {},
         true},
        {"a key that is no Ed25519 key fails rather than taking the package unsigned",
         [](OutcomeTest& t) {
             t.settings(
                 {{"PackagePublicKey", QString::fromLatin1(QByteArray(16, 'k').toBase64())}});
         },
         signatureRefused,
         State::Failed,
         {},
         true},
        {"a package replaced after its check is not the one unpacked",
         [](OutcomeTest& t) {
             t.requireSignature(t.demoFile("Scribora.zip.sig"));
             t.extractWith([downloaded = t.root() + "/downloads/Scribora.zip"](
                               const QUrl& package, const QUrl& destination,
                               const std::function<void(double, double)>& progress,
                               std::stop_token stop) {
                 QFile::remove(downloaded);
                 QFile other(downloaded);
                 EXPECT_TRUE(other.open(QIODevice::WriteOnly) && other.write("<html/>") == 7);
                 other.close();
                 return TQZip::unzipFile(package, destination, true, progress, nullptr, stop);
             });
         },
         [](const QString& applications) {
             return installedAndLaunched(applications + "/Scribora.app");
         },
         State::Finished,
         {"Scribora.app"}},
    };
    for (const Outcome& outcome : outcomes)
        run(outcome);
}

TEST_F(InstallationTest, ALaunchRemembersTheCopyAndTheNextClickStartsItWithoutReporting) {
    installation->clickInstallButton();
    ASSERT_TRUE(waitForRest());
    const QString installed = applications + "/Scribora.app";
    ASSERT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
    EXPECT_EQ(scriboraStarts().first(), installed + "/Contents/Linux/Scribora");
    EXPECT_EQ(QFileInfo(installed + "/Contents/Frameworks/ScriboraKit.framework/Versions/Current")
                  .symLinkTarget(),
              installed + "/Contents/Frameworks/ScriboraKit.framework/Versions/A");
    EXPECT_EQ(Platform::UserDefaults::standard().stringForKey("ApplicationInstallDirectory"),
              installed);
    EXPECT_TRUE(reporter->checkWrapperTag());
    EXPECT_EQ(installation->installedApplicationURL(), QUrl::fromLocalFile(installed));
    // Moved into place, not copied.
    EXPECT_FALSE(QFileInfo::exists(root + "/downloads/Scribora/Scribora.app"));
    EXPECT_EQ(view.title, "Launch");
    EXPECT_EQ(view.labels, QStringList({"Downloading", "Installing"}));
    EXPECT_EQ(view.shown, QStringList({"started", "ended"}));
    EXPECT_EQ(view.progress.first(), 0.0);
    EXPECT_EQ(view.progress.last(), 0.0);
    EXPECT_EQ(*std::max_element(view.progress.cbegin(), view.progress.cend()), 100.0);

    ASSERT_TRUE(waitFor([this] { return eventsOf(*transport).size() == 7; }));
    installation->clickInstallButton();
    EXPECT_FALSE(installation->isInstalling());
    EXPECT_TRUE(waitFor([] { return scriboraStarts().size() == 2; }));
    EXPECT_TRUE(log.contains("(null)"));
    EXPECT_EQ(eventsOf(*transport).size(), 7);
}

TEST_F(InstallationTest, TheErrorDialogsAnswersDownloadAgainOpenTheDiskImageLinkOrEnd) {
    server.respond("/packages/Scribora.zip", 404, "<html/>");
    installation->clickInstallButton();
    ASSERT_TRUE(waitForRest());
    ASSERT_EQ(installation->state(), State::Failed);

    serveExample("Scribora.zip");
    installation->tryAgain();
    ASSERT_TRUE(waitFor([this] { return installation->state() == State::Finished; }));
    ASSERT_TRUE(waitFor([this] { return eventsOf(*transport).size() == 9; }));
    EXPECT_EQ(eventsOf(*transport).at(2), (Event{T::error, T::errorTryAgain, {}}));
    EXPECT_EQ(eventsOf(*transport).at(3).category, T::downloadSuccess);

    QDir(applications + "/Scribora.app").removeRecursively();
    for (const bool direct : {true, false}) {
        restart();
        server.respond("/packages/Scribora.zip", 404, "<html/>");
        installation->clickInstallButton();
        ASSERT_TRUE(waitForRest());
        direct ? installation->directDownload() : installation->quitAfterError();
        ASSERT_TRUE(waitForRest());
        EXPECT_EQ(installation->state(), State::Idle);
        EXPECT_FALSE(installation->isInstalling());
        EXPECT_EQ(view.title, "Install");
        ASSERT_TRUE(waitFor([this] { return eventsOf(*transport).size() == 3; }));
        EXPECT_EQ(eventsOf(*transport).last(),
                  (Event{T::error, direct ? T::errorDirectDownload : T::errorQuit, {}}));
    }
    ASSERT_EQ(workspace->webAddresses.size(), 1);
    EXPECT_EQ(QUrlQuery(workspace->webAddresses.first()).queryItemValue("m"), "c2");
}

TEST_F(InstallationTest, WithoutAnApplicationsFolderTheClickAsksForOneBeforeStarting) {
    searchApplicationsIn(QString());
    installation->clickInstallButton();
    ASSERT_TRUE(waitFor([this] { return view.panels == 1; }));
    EXPECT_FALSE(installation->isInstalling());
    ASSERT_TRUE(waitFor([this] { return eventsOf(*transport).size() == 1; }));

    view.answers << QUrl::fromLocalFile(applications);
    installation->clickInstallButton();
    ASSERT_TRUE(waitFor([this] { return view.panels == 2; }));
    ASSERT_TRUE(waitForRest());
    EXPECT_EQ(installation->state(), State::Finished);
    EXPECT_TRUE(QFileInfo::exists(applications + "/Scribora.app"));
}

// The prompt stands in for pkexec: the status the tool ended with, after what it did.
TEST_F(InstallationTest, AnAdministratorCopyCountsOnlyWhenTheToolSucceeded) {
    const QString unpacked = copyOfScribora(root + "/unpacked");
    const QString destination = applications + "/Scribora.app";
    struct Case {
        const char* label;
        int status;
        bool leavesDestination;
        bool counts;
    };
    for (const Case& c : {Case{"the prompt was dismissed", 126, false, false},
                          Case{"the copy stopped part-way", 1, true, false},
                          Case{"the copy went through", 0, false, true}}) {
        runPrivileged = [&](const QString& tool, const QStringList& arguments) {
            EXPECT_EQ(tool, Installation::privilegedInstallTool());
            EXPECT_EQ(arguments, QStringList({unpacked, destination}));
            if (c.status == 0)
                return runTool(tool, arguments);
            if (c.leavesDestination)
                QDir().mkpath(destination);
            return c.status;
        };
        restart();
        EXPECT_EQ(installation->copyWithAuthority(unpacked, destination), c.counts) << c.label;
        QDir(destination).removeRecursively();
    }
}

// The entries below a folder, at any depth; none when it is missing.
QStringList entriesBelow(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    return entries;
}

TEST_F(InstallationTest, StopEndsEachStageSoonAndLeavesNothingHalfMade) {
    struct Case {
        const char* label;
        std::function<void()> arrange;
        std::function<bool()> underWay;
        // What the stopped stage had made; all of it must be gone.
        std::function<QStringList()> halfMade;
    };
    std::atomic<bool> paused{false};
    std::atomic<int> reportsAfterStop{0};
    const QString downloads = root + "/downloads";
    const auto partialFiles = [downloads] {
        return entriesBelow(downloads).filter(QRegularExpression("\\.(part|zip)$"));
    };
    const auto unpacked = [downloads] {
        return entriesBelow(downloads + "/Scribora") + entriesBelow(downloads + "/Many");
    };
    // Enough items that the extraction or the copy is still under way when the stop comes.
    server.serveFile("/packages/Many.zip", zipOf(root + "/Many.zip", [](ZipBuilder& z) {
                         z.addFolder(TQ_BINARY_DIR "/examples/Scribora.app", "Scribora.app/");
                         for (int i = 0; i < 5000; ++i)
                             z.addFile(QByteArray("Scribora.app/Contents/Resources/") +
                                           QByteArray::number(i / 100) + '/' +
                                           QByteArray::number(i),
                                       {});
                     }));
    const std::vector<Case> cases = {
        {"during the download", [&] { server.stallAfterHeaders("/packages/Scribora.zip"); },
         [&] { return server.waitForRequests("/packages/Scribora.zip", 1, {}); }, partialFiles},
        {"during a ZIP extraction",
         [&] {
             linkPackageTo("/packages/Many.zip");
             unzip = pausingPast(0, Installation::systemCollaborators().unzip, paused,
                                 reportsAfterStop);
         },
         [&] { return paused.load(); }, unpacked},
        {"during a disk-image attach",
         [&] {
             linkPackageTo("/packages/Scribora.dmg");
             // A tool that would take seconds to attach: only the stop can end it in time.
             const QString slowTool = root + "/hdiutil";
             QFile script(slowTool);
             EXPECT_TRUE(script.open(QIODevice::WriteOnly));
             script.write("#!/bin/sh\n[ \"$1\" = attach ] && exec sleep 10\n");
             script.close();
             script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
             diskImageTool.reset();
             diskImageTool.emplace(std::make_shared<Platform::DiskImageTool>(slowTool));
         },
         [&] { return installation->state() == State::Unarchiving; }, [&] { return unpacked(); }},
        {"during a disk-image copy",
         [&] {
             linkPackageTo("/packages/Scribora.dmg");
             // Its reports up to 50 are the attach's; the items' copy comes after.
             unarchiveDiskImage =
                 pausingPast(50, Installation::systemCollaborators().unarchiveDiskImage, paused,
                             reportsAfterStop);
         },
         [&] { return paused.load(); }, unpacked},
        {"during a copy from another file system",
         [&] {
             linkPackageTo("/packages/Many.zip");
             files->failingMoves = "^Scribora";
         },
         [&] { return applicationsEntries().value(0).startsWith(".Scribora.app.partial-"); },
         // A copy that ran on after the stop is removed at its end too; it must not run on.
         [&] {
             return applicationsEntries() + (files->finishedCopies > 0
                                                 ? QStringList{QStringLiteral("a finished copy")}
                                                 : QStringList());
         }},
    };
    for (const Case& c : cases) {
        paused = false;
        reportsAfterStop = 0;
        diskImageTool.reset();
        diskImageTool.emplace(std::make_shared<Platform::DiskImageTool>(
            QStringLiteral(TQ_BUNDLE_DIR "/Contents/Linux/hdiutil")));
        unzip = Installation::systemCollaborators().unzip;
        unarchiveDiskImage = Installation::systemCollaborators().unarchiveDiskImage;
        linkPackageTo("/packages/Scribora.zip");
        QDir(downloads).removeRecursively();
        c.arrange();
        restart();
        installation->clickInstallButton();
        ASSERT_TRUE(waitFor(c.underWay)) << c.label;
        EXPECT_TRUE(installation->stop(std::chrono::seconds(2))) << c.label;
        EXPECT_EQ(installation->state(), State::Stopped) << c.label;
        EXPECT_FALSE(installation->isInstalling()) << c.label;
        EXPECT_EQ(view.shown.last(), "ended") << c.label;
        EXPECT_EQ(c.halfMade(), QStringList()) << c.label;
        EXPECT_EQ(reportsAfterStop, 0) << c.label << ": the work went on after the stop";
        EXPECT_EQ(applicationsEntries(), QStringList()) << c.label;
    }
}

TEST_F(InstallationTest, OpeningABundleStartsItsProgramDetachedAndOnlyABundleWithOne) {
    const QString bundle = copyOfScribora(root + "/unpacked");
    Platform::Workspace desktop;
    ASSERT_TRUE(desktop.openURL(QUrl::fromLocalFile(bundle)));
    ASSERT_TRUE(waitFor([] { return !scriboraStarts().isEmpty(); }));
    EXPECT_EQ(scriboraStarts().first(), bundle + "/Contents/Linux/Scribora");

    const QString noKey = root + "/NoKey.app";
    BundleBuilder::writeInfo(noKey, {{"CFBundleIdentifier", "com.orvanta.Scribora"}});
    const QString plainFile = copyOfScribora(root + "/plain");
    QFile::setPermissions(plainFile + "/Contents/Linux/Scribora",
                          QFile::ReadOwner | QFile::WriteOwner);
    const QString escaping = copyOfScribora(root + "/escaping");
    BundleBuilder::writeInfo(escaping, {{"CFBundleExecutable", "../../../../../../bin/true"}});
    for (const QString& refused : {noKey, plainFile, escaping, root + "/Nothing.app"}) {
        QString error;
        EXPECT_FALSE(desktop.launchApplication(QUrl::fromLocalFile(refused), &error))
            << refused.toStdString();
        EXPECT_TRUE(error.contains(refused)) << error.toStdString();
    }
    EXPECT_EQ(scriboraStarts().size(), 1);
}

// Small file systems need a mount namespace of their own: the test runs itself again in one.
TEST_F(InstallationTest, PreflightStopsAStageBeforeItWritesWhereRoomIsShort) {
    if (qEnvironmentVariableIsEmpty("TQ_PRIVATE_MOUNTS")) {
        if (runTool("unshare", {"-rm", "true"}) != 0)
            GTEST_SKIP() << "no user namespaces here";
        qputenv("TQ_PRIVATE_MOUNTS", "1");
        QByteArray output;
        const int status = runTool("unshare",
                                   {"-rm", QCoreApplication::applicationFilePath(),
                                    "--gtest_filter=InstallationTest.Preflight*"},
                                   &output);
        EXPECT_TRUE(status == 0 && output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
        return;
    }
    const QString downloads = root + "/downloads";
    server.serveBytes("/packages/Big.zip", QByteArray(8 << 20, 'x'));
    server.serveFile("/packages/Padded.zip", zipOf(root + "/Padded.zip", [](ZipBuilder& z) {
                         z.addFile("Padded.app/Padding", QByteArray(30 << 20, 0));
                     }));
    struct Case {
        QString smallFolder;
        QString package;
        QString stage;
        QStringList left;
    };
    // In this order: a later mount hides an earlier one at the same place.
    for (const Case& c :
         {Case{applications, "/packages/Padded.zip", T::preflightInstall, {}},
          Case{downloads, "/packages/Big.zip", T::preflightDownload, {}},
          Case{downloads, "/packages/Padded.zip", T::preflightUnarchive, {"Padded.zip"}}}) {
        QDir().mkpath(c.smallFolder);
        ASSERT_EQ(
            runTool("mount", {"-t", "tmpfs", "-o", "size=20m,mode=0700", "tmpfs", c.smallFolder}),
            0);
        linkPackageTo(c.package);
        restart();
        installation->clickInstallButton();
        ASSERT_TRUE(waitForRest()) << c.stage.toStdString();
        EXPECT_EQ(installation->state(), State::Failed);
        EXPECT_TRUE(waitFor([&] {
            return eventsOf(*transport).endsWith(Event{T::preflightFail, c.stage, {}});
        })) << testing::PrintToString(eventsOf(*transport));
        EXPECT_TRUE(view.messages.value(0).contains(c.smallFolder));
        EXPECT_EQ(QDir(c.smallFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), c.left);
    }
}

TEST_F(InstallationTest, TheLinkCheckNamesWhatWouldBreakAnInstallation) {
    HttpsTestServer::ContentOptions bare;
    bare.etag = bare.ranges = false;
    server.serveBytes("/packages/bare.tar.gz", "x", bare);
    server.respond("/packages/gone.zip", 404);
    const QString plain = server.url("/x.zip").toString().replace("https:", "http:");
    const QString prefix = "Info.plist: LinkServiceURL: c1: ";
    const LinkCheck links(server.url("/").toString(), "1234", *session);
    struct Row {
        QString package;
        QString line;
        QStringList problems;
    };
    for (const Row& row : std::vector<Row>{
             {"/packages/Scribora.zip",
              "200 " + server.url("/packages/Scribora.zip").toString() +
                  ", file \"Scribora.zip\" (ZIP archive), ranges: yes, validator: yes",
              {}},
             {"/packages/bare.tar.gz",
              "200 " + server.url("/packages/bare.tar.gz").toString() +
                  ", file \"bare.tar.gz\" (no package kind), ranges: no, validator: no",
              {prefix + "\"bare.tar.gz\" ends in neither .zip nor .dmg; the install would fail",
               prefix + "no \"Accept-Ranges: bytes\"; a broken download starts over",
               prefix + "no strong ETag or Last-Modified; a broken download starts over"}},
             {"/packages/gone.zip",
              "404 " + server.url("/packages/gone.zip").toString(),
              {prefix + "answered with status 404"}},
         }) {
        linkPackageTo(row.package);
        QStringList problems;
        EXPECT_EQ(links.check(1, problems), "c1: " + row.line) << row.package.toStdString();
        EXPECT_EQ(problems, row.problems);
    }
    linkPackageTo(plain);
    QStringList problems;
    EXPECT_TRUE(links.check(1, problems).endsWith(" failed"));
    EXPECT_EQ(problems.size(), 1);
}

// Passes connections on to `port` and ends the first that has carried `cut` bytes to its
// client there: one package transfer breaks off part-way.
class DroppingRelay : public QTcpServer {
public:
    DroppingRelay(quint16 port, qint64 cut) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, port, cut] {
            QTcpSocket* client = nextPendingConnection();
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, port);
            connect(client, &QTcpSocket::readyRead, server,
                    [=] { server->write(client->readAll()); });
            connect(server, &QTcpSocket::readyRead, client,
                    [=, this, carried = qint64(0)]() mutable {
                        const QByteArray bytes = server->readAll();
                        const qint64 room = dropped ? bytes.size() : cut - carried;
                        carried += bytes.size();
                        client->write(bytes.left(room));
                        if (room < bytes.size()) {
                            dropped = true;
                            server->abort();
                        }
                    });
            connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        });
    }
    bool dropped = false;
};

// The nginx configuration of docs/, the file itself, on a loopback port with the scripted
// server's throw-away certificate, as the link service and package server of the sample.
TEST_F(InstallationTest, TheMakersNginxConfigurationServesAnInstallationThatResumesADrop) {
    const QString site = root + "/nginx";
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost) && QDir().mkpath(site + "/temp"));
    const quint16 port = probe.serverPort();
    DroppingRelay relay(port, 100000); // on another port than the one nginx gets
    probe.close();
    ASSERT_TRUE(QFile::link(TQ_BINARY_DIR "/examples", site + "/packages"));
    const auto write = [&site](const QString& name, const QString& text) {
        QFile file(site + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0);
    };
    write("links-site.conf",
          QStringLiteral("listen 127.0.0.1:%1 ssl;\nssl_certificate %2;\n"
                         "ssl_certificate_key %3/key.pem;\nroot %4;\n")
              .arg(port)
              .arg(server.certificatePath(), QFileInfo(server.certificatePath()).path(), site));
    QString temp;
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        temp += QStringLiteral("%1_temp_path %2/temp/%1;\n").arg(kind, site);
    write("nginx.conf", QStringLiteral("daemon off;\nmaster_process off;\npid %1/nginx.pid;\n"
                                       "events {}\nhttp {\naccess_log %1/access.log;\n%2"
                                       "include " TQ_SOURCE_DIR "/docs/nginx/links.conf;\n}\n")
                            .arg(site, temp));
    Platform::Process nginx;
    nginx.setLaunchPath("/usr/sbin/nginx");
    nginx.setArguments({"-p", site + "/", "-c", site + "/nginx.conf", "-e", site + "/error.log"});
    ASSERT_TRUE(nginx.launch()) << nginx.errorString().toStdString();
    writeInstallerSettings(
        {{"LinkServiceURL", QStringLiteral("https://127.0.0.1:%1/").arg(relay.serverPort())}});
    restart();
    EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(site + "/nginx.pid"); }));
    installation->clickInstallButton();
    EXPECT_TRUE(waitForRest());
    EXPECT_TRUE(waitFor([this] { return eventsOf(*transport).size() >= 7; }));
    EXPECT_EQ(eventsOf(*transport), installedAndLaunched(applications + "/Scribora.app"));
    EXPECT_TRUE(relay.dropped);
    QFile log(site + "/access.log");
    EXPECT_TRUE(log.open(QIODevice::ReadOnly) &&
                log.readAll().contains("\"GET /packages/Scribora.zip HTTP/1.1\" 206 "));
    QStringList problems;
    const LinkCheck links(QStringLiteral("https://127.0.0.1:%1/").arg(port), "1234", *session);
    EXPECT_TRUE(links.check(1, problems)
                    .endsWith("Scribora.zip\" (ZIP archive), ranges: yes, "
                              "validator: yes"));
    EXPECT_TRUE(links.check(2, problems)
                    .endsWith("Scribora.dmg\" (disk image), ranges: yes, "
                              "validator: yes"));
    EXPECT_EQ(problems, QStringList());
    nginx.terminate();
    nginx.waitUntilExit();
}

} // namespace
