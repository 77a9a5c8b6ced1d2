// The life of an installed product on the desktop: its menu entry, its removal, the command line.
#include "InstallationFixture.h"

#include "BundleBuilder.h"
#include "Installation/DesktopIntegration.h"
#include "Installation/Removal.h"
#include "Platform/FileManager.h"
#include "Platform/Process.h"
#include "Platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <filesystem>
#include <mutex>

namespace {

struct Ran {
    int status;
    QString out;
    QString err;
};

Ran run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A copy of the built bundle with one fault of each kind the bundle check looks for.
QString writeBrokenBundle(const QString& path) {
    std::filesystem::copy(TQ_BUNDLE_DIR, path.toStdString(),
                          std::filesystem::copy_options::recursive);
    QVariantMap info = Platform::Bundle(TQ_BUNDLE_DIR).infoDictionary();
    info.remove("PID");
    info.insert({{"LinkServiceURL", "http://go.example.com/"},
                 {"AnalyticsBaseURL", "https://collect.example.com"},
                 {"CFBundleVersion", 100},
                 {"AccentColor", "blue"},
                 {"InstallApplicationMinimumVersion", "7.x"}});
    BundleBuilder::writeInfo(path, info);
    BundleBuilder::writeLocalizedInfo(path, "zh_CN", {{"ProductSlogan", 7}});
    const QString resources = path + "/Contents/Resources/";
    QFile::remove(resources + "images/logo@2x.png");
    QFile::remove(resources + "images/icon.png");
    QFile::copy(resources + "images/dialogIcon.png", resources + "images/icon.png");
    for (const auto& [name, from, to] :
         {std::tuple{"MainMenu.ui", "\"cancelButton\"", "\"stopButton\""},
          {"Localizable_zh_CN.ts", ">Quit<", ">Leave<"},
          {"Localizable_zh_CN.ts", ">%@ / %@<", ">%3$@<"}}) {
        QFile file(resources + name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll().replace(from, to);
        file.close();
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text));
    }
    return path;
}

// Every item below the folders, with the contents of files.
QStringList listing(const QStringList& folders) {
    QStringList items;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            const QByteArray contents = file.open(QIODevice::ReadOnly) ? file.readAll() : "";
            items << it.filePath() + ' ' +
                         QCryptographicHash::hash(contents, QCryptographicHash::Md5).toHex();
        }
    }
    items.sort();
    return items;
}

// Folders under `root` that only the administrator may write to.
class AdministratorsFolders : public Platform::FileManager {
public:
    explicit AdministratorsFolders(QString root) : m_root(std::move(root)) {}
    bool isWritableFileAtPath(const QString& path) const override {
        return !path.startsWith(m_root);
    }

private:
    QString m_root;
};

// Runs the tool without a prompt, and records it.
Installation::PrivilegedRunner recordingRunner(QStringList& tools) {
    return [&tools](const QString& tool, const QStringList& arguments) {
        // The installation's queue and the test's own thread both record.
        static std::mutex recording;
        {
            const std::lock_guard lock(recording);
            tools << tool;
        }
        // Not QProcess: its fork in a threaded test process trips the thread sanitizer.
        Platform::Process process;
        process.setLaunchPath(tool);
        process.setArguments(arguments);
        return process.launch() && process.waitUntilExit() ? process.terminationStatus() : 127;
    };
}

} // namespace

class DesktopTest : public InstallationTest {
protected:
    QString dataHome() const { return qEnvironmentVariable("XDG_DATA_HOME"); }
    void install() {
        installation->clickInstallButton();
        ASSERT_TRUE(waitForRest());
        ASSERT_EQ(installation->state(), Installation::State::Finished);
    }
};

TEST_F(DesktopTest, TheEntryPassesTheValidatorAndStartsTheProduct) {
    struct Row {
        const char* label;
        std::function<QString()> bundle;
        qsizetype icons;
        bool launches; // GLib takes a doubled '%' for part of the program's path
    };
    const QString scribora = "/Contents/Linux/Scribora";
    std::optional<Platform::ScopedReplacement<Platform::FileManager>> readOnly;
    const std::vector<Row> rows = {
        {"the sample product in the machine-wide folder",
         [&] { return copyOfScribora(applications); }, 2, true},
        {"spaces, quotes, $, a backslash and non-ASCII in the path",
         [&] { return copyOfScribora(root + "/My \"Apps\" $HOME \\x 'é'"); }, 2, true},
        {"a percent sign in the path", [&] { return copyOfScribora(root + "/100% Apps"); }, 2,
         false},
        {"a product without an icon",
         [&] { return BundleBuilder::writeProduct(root, "Plain.app", "org.example.Plain", "1"); },
         0, false},
        {"another product's entry is kept, the new one numbered",
         [&] {
             QDir().mkpath(dataHome() + "/applications");
             QFile other(dataHome() + "/applications/com.orvanta.Scribora.desktop");
             EXPECT_TRUE(other.open(QIODevice::WriteOnly) && other.write("[Desktop Entry]\n"));
             return copyOfScribora(root + "/Other");
         },
         2, true},
        {"the user's own data folder is never written by the administrator",
         [&] {
             readOnly.emplace(std::make_shared<AdministratorsFolders>(dataHome()));
             return copyOfScribora(root + "/Mine");
         },
         2, false},
    };
    for (const Row& row : rows) {
        const QString bundle = row.bundle();
        const DesktopIntegration desktop(Platform::FileManager::shared(), runPrivileged);
        QString error;
        ASSERT_TRUE(desktop.add(bundle, &error)) << row.label << ": " << error.toStdString();
        const QStringList items = desktop.itemsOf(bundle);
        ASSERT_EQ(items.size(), 1 + row.icons) << row.label;
        const Ran validation = run("desktop-file-validate", {items.first()});
        EXPECT_EQ(validation.status, 0) << row.label << validation.out.toStdString();
        QFile entry(items.first());
        EXPECT_EQ(entry.open(QIODevice::ReadOnly) &&
                      entry.readAll().contains("Name[zh_CN]=Scribora 写作\n"),
                  row.icons > 0)
            << row.label;
        if (row.launches) {
            EXPECT_EQ(run("gio", {"launch", items.first()}).status, 0) << row.label;
            EXPECT_TRUE(waitFor([&] { return scriboraStarts().contains(bundle + scribora); }))
                << row.label;
        }
    }
    QFile other(dataHome() + "/applications/com.orvanta.Scribora.desktop");
    EXPECT_TRUE(other.open(QIODevice::ReadOnly) && other.readAll() == "[Desktop Entry]\n");
}

TEST_F(DesktopTest, RemovalTakesAwayOnlyWhatThisInstallerInstalled) {
    struct Row {
        const char* label;
        bool administrator;
        bool cancelPrompt;
        std::function<void(const QString& bundle)> meddle;
        bool removed;
    };
    const std::vector<Row> rows = {
        {"a copy the user may remove", false, false, {}, true},
        {"a copy only the administrator may remove", true, false, {}, true},
        {"a cancelled administrator prompt", true, true, {}, false},
        {"a bundle moved away", false, false,
         [](const QString& bundle) { QDir().rename(bundle, bundle + ".moved"); }, false},
        {"a bundle replaced by another product", false, false,
         [](const QString& bundle) {
             QDir(bundle).removeRecursively();
             BundleBuilder::writeProduct(QFileInfo(bundle).path(), QFileInfo(bundle).fileName(),
                                         "org.example.Other", "9");
         },
         false},
    };
    const auto snapshot = [&] {
        return listing({applications, root + "/share", dataHome() + "/applications",
                        dataHome() + "/icons"}) +
               listing({QFileInfo(Platform::UserDefaults::standard().filePath()).path()});
    };
    for (const Row& row : rows) {
        QStringList tools;
        std::optional<Platform::ScopedReplacement<Platform::FileManager>> adminOnly;
        if (row.administrator)
            adminOnly.emplace(std::make_shared<AdministratorsFolders>(root));
        runPrivileged = recordingRunner(tools);
        restart();
        (void)Platform::UserDefaults::standard().removeObjectForKey("ApplicationInstallDirectory");
        const QStringList before = snapshot();
        install();
        const Removal removal(Platform::FileManager::shared(),
                              row.cancelPrompt
                                  ? [](const QString&, const QStringList&) { return 126; }
                                  : recordingRunner(tools));
        QString message;
        const QString bundle = removal.target(&message);
        EXPECT_EQ(DesktopIntegration(Platform::FileManager::shared(), runPrivileged)
                      .itemsOf(applications + "/Scribora.app")
                      .size(),
                  3)
            << row.label;
        if (row.meddle)
            row.meddle(bundle);
        const QStringList installed = snapshot();
        const QString target = removal.target(&message);
        EXPECT_EQ(!target.isNull() && removal.remove(target, &message), row.removed)
            << row.label << ": " << message.toStdString();
        EXPECT_EQ(snapshot(), row.removed ? before : installed) << row.label;
        if (row.administrator) {
            EXPECT_EQ(tools,
                      QStringList({Installation::privilegedInstallTool(), "/bin/cp", "/bin/rm"})
                          .mid(0, 3 - row.cancelPrompt))
                << row.label;
        }
        QDir(applications).removeRecursively();
        QDir(root + "/share").removeRecursively();
        QDir().mkpath(applications);
    }
}

TEST_F(DesktopTest, TheCommandLineBehavesLikeALinuxProgram) {
    const QString installer = TQ_BUNDLE_DIR "/Contents/Linux/installer";
    const Platform::Bundle bundle(TQ_BUNDLE_DIR);
    const QString identifier = bundle.bundleIdentifier();
    const QString log =
        qEnvironmentVariable("XDG_STATE_HOME") + "/" + identifier + "/installer.log";
    const QString copy = copyOfScribora(root + "/Installed");
    const auto remember = [&] {
        QSettings(qEnvironmentVariable("XDG_CONFIG_HOME") + "/" + identifier + ".conf",
                  QSettings::IniFormat)
            .setValue("ApplicationInstallDirectory", copy);
        QDir().mkpath(QFileInfo(log).path());
        QFile full(log);
        EXPECT_TRUE(full.open(QIODevice::WriteOnly) &&
                    full.write(QByteArray(1024 * 1024 - 10, 'x')));
    };
    struct Row {
        const char* label;
        QStringList arguments;
        QStringList unset;
        int status;
        QString out;
        QString err;
        bool installed;
    };
    const std::vector<Row> rows = {
        {"--help shows the usage", {"--help"}, {}, 0, "--uninstall", "", true},
        {"--version shows the name and version",
         {"--version"},
         {},
         0,
         bundle.plainString("CFBundleShortVersionString"),
         "",
         true},
        {"an unknown option shows the usage", {"--frobnicate"}, {}, 2, "", "Usage:", true},
        {"--check finds nothing wrong with the installer's own bundle",
         {"--check"},
         {},
         0,
         "",
         "",
         true},
        {"--check names each fault of a bundle once",
         {"--check", writeBrokenBundle(root + "/Broken.app")},
         {},
         1,
         "Info.plist: PID: missing\n"
         "Info.plist: CFBundleVersion: is not a text\n"
         "Info.plist: LinkServiceURL: \"http://go.example.com/\" is not an https address\n"
         "Info.plist: AnalyticsBaseURL: \"https://collect.example.com\" does not end in \"/\"\n"
         "Info.plist: AccentColor: \"blue\" is not a colour of the form #RRGGBB\n"
         "Info.plist: InstallApplicationMinimumVersion: \"7.x\" is not a version such as 7.0.0\n"
         "Resources/zh_CN.lproj/InfoPlist.strings: ProductSlogan: is not a text\n"
         "Resources/images/icon.png: 48x48 pixels; expected 96x96 pixels\n"
         "Resources/images/logo@2x.png: missing or not an image; expected 264x64 pixels\n"
         "Resources/MainMenu.ui: cancelButton: no outlet of this name\n"
         "Resources/Localizable_zh_CN.ts: \"%@ of %@\": the translation \"%3$@\" has "
         "placeholders the text does not have\n"
         "Resources/Localizable_zh_CN.ts: \"Quit\": missing\n",
         "",
         true},
        {"without a display the window does not open",
         {},
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
         1,
         "",
         "no display: set DISPLAY or WAYLAND_DISPLAY\n",
         true},
        {"--uninstall without a terminal asks for --yes",
         {"--uninstall"},
         {},
         1,
         "",
         "--yes",
         true},
        {"--uninstall --yes removes the copy",
         {"--uninstall", "--yes"},
         {},
         0,
         "was removed",
         "",
         false},
    };
    remember();
    for (const Row& row : rows) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : row.unset)
            environment.remove(name);
        const Ran result = run(installer, row.arguments, environment);
        EXPECT_EQ(result.status, row.status) << row.label << result.err.toStdString();
        EXPECT_TRUE(row.out.endsWith('\n') ? result.out == row.out : result.out.contains(row.out))
            << row.label << result.out.toStdString();
        EXPECT_TRUE(row.err.endsWith('\n') ? result.err == row.err : result.err.contains(row.err))
            << row.label << result.err.toStdString();
        EXPECT_EQ(QFileInfo::exists(copy), row.installed) << row.label;
    }
    // The removal's steps went to a fresh log file; the full one was kept beside it.
    QFile written(log);
    EXPECT_TRUE(written.open(QIODevice::ReadOnly) &&
                written.readAll().contains("Removed " + copy.toUtf8()));
    EXPECT_EQ(QFileInfo(log + ".1").size(), 1024 * 1024 - 10);
}
