#include "CommandLine.h"

#include "BundleCheck.h"
#include "Extensions/BundleExtension.h"
#include "Installation/Installation.h"
#include "Installation/Removal.h"
#include "LinkCheck.h"
#include "Platform/Bundle.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/SearchPaths.h"
#include "Platform/StandardInput.h"

#include <QTextStream>

namespace {

// Qt draws without a display server when told so (offscreen, minimal, vnc ...).
bool hasDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

bool openLogFile() {
    const QString state = Platform::SearchPaths::shared().stateDirectory();
    return !state.isNull() &&
           Platform::Log::setFile(state + QLatin1Char('/') + installerFolderName() +
                                  QStringLiteral("/installer.log"));
}

} // namespace

CommandLine::CommandLine(QString program, const QStringList& arguments)
    : m_program(std::move(program)) {
    bool help = false, version = false, check = false, uninstall = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            help = true;
        else if (argument == QLatin1String("--version"))
            version = true;
        else if (argument == QLatin1String("--verbose"))
            m_verbose = true;
        else if (argument == QLatin1String("--uninstall"))
            uninstall = true;
        else if (argument == QLatin1String("--yes") || argument == QLatin1String("-y"))
            m_yes = true;
        else if (argument == QLatin1String("--check"))
            check = true;
        else if (argument == QLatin1String("--online"))
            m_online = true;
        else if (!argument.startsWith(QLatin1Char('-')) && m_checkedBundle.isNull())
            m_checkedBundle = argument;
        else if (m_problem.isNull())
            m_problem = QStringLiteral("unknown option '%1'").arg(argument);
    }
    if (!check && (m_online || !m_checkedBundle.isNull()) && m_problem.isNull())
        m_problem = m_online ? QStringLiteral("--online goes with --check")
                             : QStringLiteral("unknown option '%1'").arg(m_checkedBundle);
    m_mode = !m_problem.isNull() ? Mode::Usage
             : help              ? Mode::Help
             : version           ? Mode::Version
             : check             ? Mode::Check
             : uninstall         ? Mode::Uninstall
                                 : Mode::Window;
}

QString CommandLine::usage() const {
    return QStringLiteral(
               "Usage: %1 [--verbose] [--uninstall [--yes]] [--check [--online] [BUNDLE]]\n"
               "Installs %2, or with --uninstall removes the copy this installer installed.\n"
               "\n"
               "  -h, --help     show this help and exit\n"
               "  --version      show the installer's name and version and exit\n"
               "  --verbose      write the log to standard error as well\n"
               "  --uninstall    remove the installed copy, its menu entry and icons\n"
               "  -y, --yes      remove without asking\n"
               "  --check        list the problems of an installer bundle (this one without\n"
               "                 BUNDLE), one a line; exit status 1 when there is one\n"
               "  --online       with --check, also ask the link service for c1 to c4 and say\n"
               "                 what each answers\n"
               "\n"
               "The log is kept in $XDG_STATE_HOME/%3/installer.log (~/.local/state without it).\n")
        .arg(m_program, Removal::productName(), installerFolderName());
}

std::optional<int> CommandLine::runWithoutWindow() const {
    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (m_mode) {
    case Mode::Usage:
        err << m_program << ": " << m_problem << '\n' << usage();
        return 2;
    case Mode::Help:
        out << usage();
        return 0;
    case Mode::Version:
        out << bundleName() << ' ' << bundleShortVersion() << " (" << bundleVersion() << ")\n";
        return 0;
    case Mode::Check:
        return check();
    case Mode::Uninstall:
    case Mode::Window:
        break;
    }
    if (m_mode == Mode::Window && !hasDisplay()) {
        err << "no display: set DISPLAY or WAYLAND_DISPLAY\n";
        return 1;
    }
    // Without a log file, lines would reach only the system log.
    Platform::Log::setVerbose(m_verbose || !openLogFile());
    if (m_mode == Mode::Uninstall)
        return uninstall();
    return std::nullopt;
}

int CommandLine::check() const {
    const QString bundle =
        m_checkedBundle.isNull() ? Platform::Bundle::main().bundlePath() : m_checkedBundle;
    QStringList problems = BundleCheck(bundle).problems();
    QTextStream out(stdout);
    if (m_online) {
        const Platform::Bundle settings(bundle);
        // A maker waits at the terminal: a dead link should not hold each line for a minute.
        Platform::URLSession session({std::chrono::seconds(15), std::chrono::seconds(15), {}});
        const LinkCheck links(settings.plainString(QStringLiteral("LinkServiceURL")),
                              settings.plainString(QStringLiteral("PID")), session);
        for (int code = 1; code <= 4; ++code)
            out << links.check(code, problems) << '\n';
    }
    for (const QString& problem : problems)
        out << problem << '\n';
    return problems.isEmpty() ? 0 : 1;
}

// The log reaches the terminal only with --verbose; a refusal always does.
void CommandLine::refuse(const QString& message) const {
    Platform::Log::write(message);
    if (!m_verbose)
        QTextStream(stderr) << message << '\n';
}

// Asks on the terminal unless --yes; without a terminal to ask on, nothing is removed.
int CommandLine::uninstall() const {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const Removal removal(Platform::FileManager::shared(), Installation::runAsAdministrator);
    QString message;
    const QString bundle = removal.target(&message);
    if (bundle.isNull()) {
        refuse(message);
        return 1;
    }
    if (!m_yes && !Platform::StandardInput::isTerminal()) {
        refuse(QStringLiteral("Not removing %1 without a confirmation: answer in a terminal, or "
                              "add --yes")
                   .arg(bundle));
        return 1;
    }
    if (!m_yes) {
        out << "Remove " << bundle << ", its menu entry and icons? [y/N] " << Qt::flush;
        const QString answer = Platform::StandardInput::readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes")) {
            out << "Nothing was removed.\n";
            return 1;
        }
    }
    const bool removed = removal.remove(bundle, &message);
    (removed ? out : err) << message << '\n';
    return removed ? 0 : 1;
}
