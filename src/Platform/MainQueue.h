#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace Platform {

// Ties work posted to the main queue to the object that posted it: the work is dropped once
// that object is gone. Owners are destroyed on the main thread, where the work runs, so the
// check cannot race with the destruction.
class Lifetime {
public:
    Lifetime() : m_token(std::make_shared<char>()) {}
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    [[nodiscard]] std::weak_ptr<const void> token() const { return m_token; }

private:
    std::shared_ptr<const void> m_token;
};

// The main queue: blocks added from any thread run on the Qt event loop's thread, in order.
// Needs a QCoreApplication; first used on the main thread.
class MainQueue {
public:
    static MainQueue& shared();

    // Runs `block` on the main thread unless `owner` is gone by then.
    void addOperation(const Lifetime& owner, std::function<void()> block);

private:
    struct Operation {
        std::weak_ptr<const void> owner;
        std::function<void()> block;
    };

    MainQueue();
    void drain();

    std::mutex m_mutex;
    std::deque<Operation> m_operations;
    bool m_wakePending = false;
    QObject* m_pump = nullptr;
};

inline MainQueue& mainQueue() {
    return MainQueue::shared();
}

} // namespace Platform
