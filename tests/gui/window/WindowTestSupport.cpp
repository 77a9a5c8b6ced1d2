#include "WindowTestSupport.h"

#include "Platform/Bundle.h"
#include "Platform/Locale.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

void copyTree(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::copy(from.toStdString(), to.toStdString(),
                          std::filesystem::copy_options::recursive, error);
    ASSERT_FALSE(error) << error.message();
}

} // namespace

TestBundle::TestBundle(const QStringList& languages)
    : _path(TestEnvironment::makeFolder(QStringLiteral("bundle")) +
            QStringLiteral("/Installer.app")),
      _mainBundle(std::make_shared<Platform::Bundle>(_path)) {
    QDir().mkpath(_path + QStringLiteral("/Contents"));
    copyTree(QStringLiteral(TQ_BUNDLE_DIR "/Contents/Resources"),
             _path + QStringLiteral("/Contents/Resources"));
    QFile::copy(QStringLiteral(TQ_BUNDLE_DIR "/Contents/Info.plist"),
                _path + QStringLiteral("/Contents/Info.plist"));
    for (const QString& table : QDir(QStringLiteral(TQ_WINDOW_TEST_TABLES)).entryList(QDir::Files))
        QFile::copy(QStringLiteral(TQ_WINDOW_TEST_TABLES "/") + table,
                    _path + QStringLiteral("/Contents/Resources/") + table);
    Platform::Locale::setPreferredLanguages(languages);
}

TestBundle::~TestBundle() {
    // Windows and sheets closed by the test are freed before the next one starts.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Platform::Locale::setPreferredLanguages({});
}

void TestBundle::editLayout(const QString& name, const QString& from, const QString& to) const {
    QFile file(_path + QStringLiteral("/Contents/Resources/") + name + QStringLiteral(".ui"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    ASSERT_TRUE(text.contains(from)) << from.toStdString();
    text.replace(from, to);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

Installation& testInstallation() {
    static Installation installation(Installation::systemCollaborators());
    return installation;
}

std::unique_ptr<TQMainLayout> loadMainLayout(std::unique_ptr<AppDelegate> delegate) {
    QString error;
    std::unique_ptr<TQMainLayout> layout =
        TQMainLayout::load(&error, testInstallation(), std::move(delegate));
    EXPECT_TRUE(layout) << error.toStdString();
    return layout;
}

QList<TQMaskWindow*> visibleSheets() {
    QList<TQMaskWindow*> sheets;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* sheet = qobject_cast<TQMaskWindow*>(widget); sheet && sheet->isVisible())
            sheets.append(sheet);
    return sheets;
}

// In a ThreadSanitizer build: Qt is not instrumented, so the hand-over between its own paint
// threads (locked with Qt's mutexes, invisible to the sanitizer) looks like races in the
// memory functions Qt calls. Only accesses made by instrumented code (the installer's) count.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
