#include "AppDelegate.h"
#include "Controls/TQMainLayout.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/MainQueue.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/Screen.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const Platform::ScopedReplacement<Platform::Screen> screen(
        std::make_shared<Platform::Screen>([] {
            const QScreen* primary = QGuiApplication::primaryScreen();
            return primary ? primary->size() : QSize(0, 0);
        }));
    QApplication::setWindowIcon(
        QIcon(Platform::Bundle::main().resourcePath() + QStringLiteral("/images/icon.png")));

    // The main queue's first use comes from here, on the main thread, so its wake-up object
    // is made on the thread it serves before the downloader's thread posts to it.
    Platform::mainQueue().addOperation([] {});

    QString error;
    const std::unique_ptr<TQMainLayout> layout = TQMainLayout::load(&error);
    if (!layout) {
        Platform::Log::write(error);
        return 1;
    }
    QMainWindow* window = layout->window();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    QTimer::singleShot(0, layout->delegate(), &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
