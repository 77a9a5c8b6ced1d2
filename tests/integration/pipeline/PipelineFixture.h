#pragma once

#include "LogCapture.h"
#include "Platform/Bundle.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/SearchPaths.h"
#include "Platform/Workspace.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

class QFileDialog;

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// The machine-wide applications folder of the test (or none); the user's stays the default.
class TestSearchPaths : public Platform::SearchPaths {
public:
    explicit TestSearchPaths(QString applications) : m_applications(std::move(applications)) {}
    QString applicationDirectory(Platform::ApplicationsFolder folder) const override;

private:
    QString m_applications;
};

// Records web addresses instead of opening a browser; bundles are opened for real.
class RecordingWorkspace : public Platform::Workspace {
public:
    bool openURL(const QUrl& url) override;
    [[nodiscard]] QList<QUrl> openedWebAddresses() const;

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_opened;
};

// An installer bundle of its own, a temporary applications folder, the sample product, and
// the sample product told to quit shortly after it started.
class PipelineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the installer's settings; extra keys override the defaults.
    void writeInstallerSettings(const QVariantMap& extra = {});
    // A fresh copy of the sample product's bundle under the test's folder.
    [[nodiscard]] QString copyOfScribora(const QString& folder) const;
    // The program paths of the sample product's starts so far, one per start.
    [[nodiscard]] static QStringList scriboraStarts();
    // Turns the event loop until the condition holds or 20 s have passed.
    static bool waitFor(const std::function<bool()>& condition);
    // The directory panel, once it is shown.
    [[nodiscard]] static QFileDialog* directoryPanel();
    static void choose(QFileDialog* panel, const QString& directory);

    QString root;
    QString applications;
    std::shared_ptr<RecordingWorkspace> workspace;
    std::optional<Platform::ScopedReplacement<Platform::SearchPaths>> searchPaths;
    std::optional<Platform::ScopedReplacement<Platform::Workspace>> replacedWorkspace;
    std::optional<Platform::ScopedReplacement<Platform::Bundle>> mainBundle;
    LogCapture log;
};
