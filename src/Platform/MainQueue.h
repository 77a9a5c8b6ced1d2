#pragma once

#include <deque>
#include <functional>
#include <mutex>

class QObject;

namespace Platform {

// The main queue: blocks added from any thread run on the Qt event loop's thread, in order.
// Needs a QCoreApplication; blocks added before one exists run once its loop turns.
class MainQueue {
public:
    static MainQueue& shared();

    void addOperation(std::function<void()> block);

private:
    MainQueue();
    void drain();
    void wake();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_blocks;
    bool m_wakePending = false;
    QObject* m_pump = nullptr;
};

inline MainQueue& mainQueue() {
    return MainQueue::shared();
}

} // namespace Platform
