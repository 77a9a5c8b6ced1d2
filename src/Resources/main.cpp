#include "AppDelegate.h"
#include "CommandLine.h"
#include "Controls/TQAppearance.h"
#include "Controls/TQMainLayout.h"
#include "Installation/Installation.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/Screen.h"
#include "Platform/TerminationSignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>

namespace {

// A quit while an installation runs gives its work this long to end before the window goes.
constexpr std::chrono::seconds stopBudget{2};

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    const CommandLine commandLine(QFileInfo(program).fileName(), arguments);
    if (const std::optional<int> status = commandLine.runWithoutWindow())
        return *status;

    QApplication app(argc, argv);
    const Platform::ScopedReplacement<Platform::Screen> screen(
        std::make_shared<Platform::Screen>([] {
            const QScreen* primary = QGuiApplication::primaryScreen();
            return primary ? primary->size() : QSize(0, 0);
        }));
    QApplication::setWindowIcon(
        QIcon(Platform::Bundle::main().resourcePath() + QStringLiteral("/images/icon.png")));
    TQAppearance::apply();

    Installation installation(Installation::systemCollaborators());
    QString error;
    std::unique_ptr<TQMainLayout> layout = TQMainLayout::load(&error, installation);
    if (!layout) {
        Platform::Log::write(error);
        return 1;
    }
    // Asked from outside to end: quit as the menu's confirmed Quit would.
    Platform::TerminationSignals::handleWith([] { QCoreApplication::exit(0); });
    QMainWindow* window = layout->window();
    // Wayland centres a new window itself and ignores coordinates.
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        window->move(primary->availableGeometry().center() - window->rect().center());
    window->show();
    QTimer::singleShot(0, layout->delegate(), &AppDelegate::applicationDidFinishLaunching);
    const int status = QApplication::exec();
    (void)installation.stop(stopBudget);
    layout.reset();
    return status;
}
