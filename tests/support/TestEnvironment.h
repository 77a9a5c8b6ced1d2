#pragma once

#include <QString>
#include <functional>

// Every test process gets its own HOME, TMPDIR and XDG_* folders under one temporary root,
// made before anything else runs and removed at exit (kept when TQ_KEEP_TEST_ROOT is set).
class TestEnvironment {
public:
    // Creates the root and points the environment at it. Called once, by the test main.
    static void setUp();
    static void tearDown();

    [[nodiscard]] static QString root();
    [[nodiscard]] static QString home();
    [[nodiscard]] static QString temporaryDirectory();
    // A fresh, empty folder under the root for one test.
    [[nodiscard]] static QString makeFolder(const QString& name);
};

// Turns the event loop, freeing what it would free on its next turn, until `condition` holds or
// `milliseconds` have passed; its last answer.
[[nodiscard]] bool waitFor(const std::function<bool()>& condition, int milliseconds = 20000);
