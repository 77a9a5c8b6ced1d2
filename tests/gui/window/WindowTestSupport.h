#pragma once

#include "AppDelegate.h"
#include "Controls/TQMainLayout.h"
#include "Controls/TQMaskWindow.h"
#include "Installation/Installation.h"
#include "Platform/Bundle.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/Workspace.h"
#include "TestEnvironment.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

// A copy of the built installer bundle's settings and resources (with the test-only tables)
// in a fresh folder; the main bundle points at it, and the preferred languages are pinned,
// while the object lives.
class TestBundle {
public:
    explicit TestBundle(const QStringList& languages = {QStringLiteral("en-US")});
    ~TestBundle();
    TestBundle(const TestBundle&) = delete;
    TestBundle& operator=(const TestBundle&) = delete;

    [[nodiscard]] QString path() const { return _path; }
    // Replaces `from` by `to` in a layout of the copy.
    void editLayout(const QString& name, const QString& from, const QString& to) const;

private:
    QString _path;
    Platform::ScopedReplacement<Platform::Bundle> _mainBundle;
};

// The installation the layouts of the tests show: the system's parts, made once.
[[nodiscard]] Installation& testInstallation();

// The main layout of the main bundle; fails the calling test when it cannot be loaded.
[[nodiscard]] std::unique_ptr<TQMainLayout>
loadMainLayout(std::unique_ptr<AppDelegate> delegate = {});

// The sheet windows now shown.
[[nodiscard]] QList<TQMaskWindow*> visibleSheets();

// Records the URLs the installer asks to open, opening nothing.
class RecordingWorkspace : public Platform::Workspace {
public:
    bool openURL(const QUrl& url) override {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};
