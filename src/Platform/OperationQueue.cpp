#include "Platform/OperationQueue.h"

#include <limits>

namespace Platform {

OperationQueue::OperationQueue() : m_worker([this] { run(); }) {}

OperationQueue::~OperationQueue() {
    endWorker();
}

void OperationQueue::stop() {
    std::deque<std::function<void()>> blocks;
    std::multimap<Clock::time_point, std::function<void()>> timedBlocks;
    {
        std::lock_guard lock(m_mutex);
        m_refusing = true;
        blocks.swap(m_blocks);
        timedBlocks.swap(m_timedBlocks);
    }
    // The dropped blocks are destroyed after the lock is released.
    endWorker();
}

void OperationQueue::endWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void OperationQueue::addOperation(std::function<void()> block) {
    (void)addOperation(std::move(block), std::numeric_limits<std::size_t>::max());
}

bool OperationQueue::addOperation(std::function<void()> block, std::size_t limit) {
    {
        std::lock_guard lock(m_mutex);
        if (m_refusing || m_blocks.size() >= limit)
            return false;
        m_blocks.push_back(std::move(block));
    }
    m_changed.notify_all();
    return true;
}

void OperationQueue::addOperationAt(std::function<void()> block, Clock::time_point time) {
    {
        std::lock_guard lock(m_mutex);
        if (m_refusing)
            return;
        m_timedBlocks.emplace(time, std::move(block));
    }
    m_changed.notify_all();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_blocks.empty() && !m_busy; });
}

bool OperationQueue::waitUntilAllOperationsAreFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_blocks.empty() && !m_busy; });
}

bool OperationQueue::isCurrent() const {
    return std::this_thread::get_id() == m_worker.get_id();
}

void OperationQueue::queueDueBlocks() {
    const Clock::time_point now = Clock::now();
    while (!m_timedBlocks.empty() && m_timedBlocks.begin()->first <= now) {
        m_blocks.push_back(std::move(m_timedBlocks.begin()->second));
        m_timedBlocks.erase(m_timedBlocks.begin());
    }
}

void OperationQueue::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        queueDueBlocks();
        if (m_blocks.empty()) {
            if (m_stopping)
                return;
            if (m_timedBlocks.empty()) {
                m_changed.wait(lock);
                continue;
            }
            // A copy: the timed block may be cancelled while the worker waits.
            const Clock::time_point next = m_timedBlocks.begin()->first;
            m_changed.wait_until(lock, next);
            continue;
        }
        std::function<void()> block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_busy = true;
        lock.unlock();
        block();
        block = nullptr;
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace Platform
