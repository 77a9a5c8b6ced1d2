#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace Platform {

// What a task's thread and its owner share: the cancel flag and the end of the thread.
class URLSessionTaskState {
public:
    std::atomic<bool> cancelled{false};

    void cancel() {
        cancelled = true;
        m_changed.notify_all();
    }
    void finish() {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    [[nodiscard]] bool isFinished() {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }
    void waitUntilFinished() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_finished; });
    }
    // False when the task was cancelled while it waited.
    [[nodiscard]] bool sleepFor(std::chrono::milliseconds duration) {
        std::unique_lock lock(m_mutex);
        return !m_changed.wait_for(lock, duration, [this] { return cancelled.load(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_finished = false;
};

// A running transfer: it can be cancelled and waited for.
class URLSessionTask {
public:
    explicit URLSessionTask(std::shared_ptr<URLSessionTaskState> state);
    // Breaks the transfer off soon (within about a second); it then completes with an error.
    void cancel();
    // Blocks until the transfer ended and its last delegate call was queued.
    void waitUntilFinished();

private:
    std::shared_ptr<URLSessionTaskState> m_state;
};

} // namespace Platform
