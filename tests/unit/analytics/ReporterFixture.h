#pragma once

#include "BundleBuilder.h"
#include "GoogleReporter/TQGoogleReporter.h"
#include "Platform/Bundle.h"
#include "Platform/Locale.h"
#include "Platform/ScopedReplacement.h"
#include "Platform/Screen.h"
#include "RecordingHitTransport.h"
#include "TestEnvironment.h"

#include <QUuid>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << '"' << text.toStdString() << '"';
}

// Each test gets an installer bundle of its own, with an identifier of its own, so its user
// defaults and install marker start empty. Hits go to a recording transport.
class ReporterFixture : public testing::Test {
protected:
    void SetUp() override {
        identifier = QStringLiteral("co.quintrel.test.") +
                     QUuid::createUuid().toString(QUuid::Id128).left(12);
        bundlePath = TestEnvironment::makeFolder(QStringLiteral("analytics")) +
                     QStringLiteral("/Installer.app");
        writeSettings({});
        mainBundle.emplace(std::make_shared<Platform::Bundle>(bundlePath));
        Platform::Locale::setPreferredLanguages({QStringLiteral("zh-CN"), QStringLiteral("en")});
        screen.emplace(std::make_shared<Platform::Screen>([] { return QSize(1440, 900); }));
    }
    void TearDown() override {
        mainBundle.reset();
        Platform::Locale::setPreferredLanguages({});
        screen.reset();
    }

    // The installer's settings: name, identifier and versions plus `extra`.
    void writeSettings(const QVariantMap& extra) {
        QVariantMap info{{"CFBundleName", "Installer"},
                         {"CFBundleIdentifier", identifier},
                         {"CFBundleShortVersionString", "1.2.3"},
                         {"CFBundleVersion", "45"}};
        info.insert(extra);
        BundleBuilder::writeInfo(bundlePath, info);
    }

    std::unique_ptr<TQGoogleReporter> makeReporter(const QString& trackerId = "UA-12345-67") {
        auto reporter = std::make_unique<TQGoogleReporter>(transport);
        if (!trackerId.isNull())
            reporter->configure(trackerId);
        return reporter;
    }

    const QVariantMap ga4Keys{{"AnalyticsMeasurementID", "G-TEST123"},
                              {"AnalyticsAPISecret", "s3cr3t-Key_1"}};
    QString identifier;
    QString bundlePath;
    std::optional<Platform::ScopedReplacement<Platform::Bundle>> mainBundle;
    std::optional<Platform::ScopedReplacement<Platform::Screen>> screen;
    std::shared_ptr<RecordingHitTransport> transport = std::make_shared<RecordingHitTransport>();
};
