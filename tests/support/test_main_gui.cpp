#include "TestEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    TestEnvironment::setUp();
    // Set here, not in the test properties: test discovery runs without them.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    TestEnvironment::tearDown();
    return result;
}
