#include "LogCapture.h"
#include "Platform/Log.h"
#include "Platform/MainQueue.h"
#include "Platform/OperationQueue.h"
#include "Platform/PrivateFolder.h"
#include "Platform/SearchPaths.h"
#include "Platform/UserDefaults.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

TEST(OperationQueueTest, BlocksRunInOrderOnOneWorkerThread) {
    Platform::OperationQueue queue;
    std::vector<int> order;
    std::thread::id worker;
    std::atomic<bool> wasCurrent{false};
    for (int i = 0; i < 100; ++i)
        queue.addOperation([&, i] {
            if (i == 0)
                worker = std::this_thread::get_id();
            EXPECT_EQ(worker, std::this_thread::get_id());
            order.push_back(i);
            wasCurrent = queue.isCurrent();
        });
    queue.waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(wasCurrent);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(MainQueueTest, BlocksFromOtherThreadsRunOnTheMainThreadInOrderWhileTheirOwnerLives) {
    (void)Platform::mainQueue(); // first used on the main thread, as the installer does
    std::vector<int> order;
    std::atomic<int> offMain{0};
    Platform::Lifetime owner;
    auto gone = std::make_unique<Platform::Lifetime>();
    {
        Platform::OperationQueue worker;
        for (int i = 0; i < 50; ++i)
            worker.addOperation([&, i] {
                Platform::mainQueue().addOperation(owner, [&, i] {
                    if (QThread::currentThread() != qApp->thread())
                        ++offMain;
                    order.push_back(i);
                });
                Platform::mainQueue().addOperation(*gone, [&] { order.push_back(-1); });
            });
        worker.waitUntilAllOperationsAreFinished();
    }
    gone.reset();
    for (int spins = 0; order.size() < 50 && spins < 1000; ++spins)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(offMain, 0);
}

TEST(SearchPathsTest, FoldersFollowTheEnvironment) {
    const Platform::SearchPaths& paths = Platform::SearchPaths::shared();
    EXPECT_EQ(paths.applicationDirectory(Platform::ApplicationsFolder::User),
              TestEnvironment::home() + "/Applications");
    EXPECT_EQ(paths.applicationDirectory(Platform::ApplicationsFolder::Local), "/opt");
    EXPECT_EQ(paths.temporaryDirectory(), TestEnvironment::temporaryDirectory() + "/");
    EXPECT_EQ(paths.applicationSupportDirectory(), TestEnvironment::home() + "/.local/share");

    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_EQ(paths.applicationSupportDirectory(), TestEnvironment::home() + "/.local/share");
    qputenv("XDG_DATA_HOME", saved);
}

} // namespace
