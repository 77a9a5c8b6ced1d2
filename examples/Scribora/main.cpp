// Scribora, the sample product: a window saying it runs. When it starts it appends one line
// to <data folder>/Scribora/started.log (the data folder is $XDG_DATA_HOME, else
// ~/.local/share), so a test or the demo can see that it ran and how.
// SCRIBORA_QUIT_AFTER_MS=<n> makes it quit by itself after n milliseconds.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>
#include <unistd.h>

namespace {

void recordStart() {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Scribora";
    QDir().mkpath(folder);
    QFile log(folder + "/started.log");
    if (!log.open(QIODevice::Append | QIODevice::Text))
        return;
    log.write(QStringLiteral("pid=%1 sid=%2 program=%3\n")
                  .arg(getpid())
                  .arg(getsid(0))
                  .arg(QCoreApplication::applicationFilePath())
                  .toUtf8());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Scribora");
    recordStart();

    QLabel window(QStringLiteral("Scribora 7.1.0 is running."));
    window.setObjectName("scriboraWindow");
    window.setWindowTitle(QStringLiteral("Scribora 7.1.0"));
    window.setAlignment(Qt::AlignCenter);
    window.setMinimumSize(360, 160);
    window.show();

    bool ok = false;
    const int quitAfter = qEnvironmentVariableIntValue("SCRIBORA_QUIT_AFTER_MS", &ok);
    if (ok)
        QTimer::singleShot(quitAfter, &app, &QCoreApplication::quit);
    return app.exec();
}
