#include "AppDelegate.h"
#include "Controls/TQMainLayout.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/Screen.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Platform::Screen::setProvider([] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->size() : QSize(0, 0);
    });
    QApplication::setWindowIcon(
        QIcon(Platform::Bundle::main().resourcePath() + QStringLiteral("/images/icon.png")));

    QString error;
    const std::unique_ptr<TQMainLayout> layout = TQMainLayout::load(&error);
    if (!layout) {
        Platform::Log::write(error);
        return 1;
    }
    layout->window()->show();
    QTimer::singleShot(0, layout->delegate(), &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
