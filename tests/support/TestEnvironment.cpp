#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <QUuid>
#include <cstdlib>
#include <stdexcept>

namespace {

QString& rootPath() {
    static QString path;
    return path;
}

void setVariable(const char* name, const QString& value) {
    QDir().mkpath(value);
    setenv(name, QFile::encodeName(value).constData(), 1);
}

} // namespace

void TestEnvironment::setUp() {
    QByteArray pattern("/tmp/tq-test-XXXXXX");
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create the test root");
    rootPath() = QString::fromLocal8Bit(pattern);
    setVariable("HOME", root() + QStringLiteral("/home"));
    setVariable("TMPDIR", root() + QStringLiteral("/tmp"));
    setVariable("XDG_CONFIG_HOME", root() + QStringLiteral("/home/.config"));
    setVariable("XDG_DATA_HOME", root() + QStringLiteral("/home/.local/share"));
    setVariable("XDG_CACHE_HOME", root() + QStringLiteral("/home/.cache"));
    setVariable("XDG_STATE_HOME", root() + QStringLiteral("/home/.local/state"));
    setVariable("XDG_RUNTIME_DIR", root() + QStringLiteral("/run"));
    QFile::setPermissions(root() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_CONFIG_DIRS");
}

void TestEnvironment::tearDown() {
    if (rootPath().isEmpty() || std::getenv("TQ_KEEP_TEST_ROOT"))
        return;
    QDir(rootPath()).removeRecursively();
}

QString TestEnvironment::root() {
    return rootPath();
}
QString TestEnvironment::home() {
    return root() + QStringLiteral("/home");
}
QString TestEnvironment::temporaryDirectory() {
    return root() + QStringLiteral("/tmp");
}

QString TestEnvironment::makeFolder(const QString& name) {
    const QString path = root() + QStringLiteral("/work/") + name + QLatin1Char('-') +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    QDir().mkpath(path);
    return path;
}

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(2);
    }
    return true;
}
