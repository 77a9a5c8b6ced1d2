#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace Platform {

// A serial queue: one worker thread runs the added blocks one after another, in order.
// The destructor runs what is still queued, drops timed blocks not yet due, and joins the
// worker.
class OperationQueue {
public:
    using Clock = std::chrono::steady_clock;

    OperationQueue();
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(std::function<void()> block);
    // Adds the block unless `limit` blocks already wait (the running one is not counted) or
    // stop() was called; false when it was refused. Bounds the memory of a queue whose
    // worker may stall.
    [[nodiscard]] bool addOperation(std::function<void()> block, std::size_t limit);
    // Adds the block to the end of the queue when `time` has come; until then it neither
    // counts as waiting nor holds up the blocks added meanwhile.
    void addOperationAt(std::function<void()> block, Clock::time_point time);
    // Drops every block that has not started (timed ones too), waits for the running one and
    // ends the worker, so that its thread's resources go now rather than at exit. Blocks
    // added later are dropped. Not from the queue itself.
    void stop();
    // Blocks until every block added before this call has run (timed blocks not yet due
    // are not waited for). Not from the queue itself.
    void waitUntilAllOperationsAreFinished();
    // The same, giving up after `timeout`; false when blocks were still waiting or running.
    [[nodiscard]] bool waitUntilAllOperationsAreFinished(std::chrono::milliseconds timeout);
    // True when called from one of this queue's blocks.
    [[nodiscard]] bool isCurrent() const;

private:
    void run();
    void queueDueBlocks();
    void endWorker();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_blocks;
    std::multimap<Clock::time_point, std::function<void()>> m_timedBlocks;
    bool m_busy = false;
    bool m_stopping = false; // the worker ends once nothing waits
    bool m_refusing = false; // stopped: new blocks are dropped
    std::thread m_worker;
};

} // namespace Platform
