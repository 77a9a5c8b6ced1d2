#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Platform {

// A serial queue: one worker thread runs the added blocks one after another, in order.
// The destructor runs what is still queued and then joins the worker.
class OperationQueue {
public:
    OperationQueue();
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(std::function<void()> block);
    // Blocks until every block added before this call has run. Not from the queue itself.
    void waitUntilAllOperationsAreFinished();
    // The same, giving up after `timeout`; false when blocks were still waiting or running.
    [[nodiscard]] bool waitUntilAllOperationsAreFinished(std::chrono::milliseconds timeout);
    // True when called from one of this queue's blocks.
    [[nodiscard]] bool isCurrent() const;

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_blocks;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace Platform
