#include "Platform/OperationQueue.h"

namespace Platform {

OperationQueue::OperationQueue() : m_worker([this] { run(); }) {}

OperationQueue::~OperationQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void OperationQueue::addOperation(std::function<void()> block) {
    {
        std::lock_guard lock(m_mutex);
        m_blocks.push_back(std::move(block));
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

void OperationQueue::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_blocks.empty() || m_stopping; });
        if (m_blocks.empty())
            return;
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
