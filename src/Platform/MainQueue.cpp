#include "Platform/MainQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace Platform {

namespace {

// Lives on the main thread; each posted wake-up drains the queue there. The blocks
// themselves never travel through Qt's event queue, so their hand-over is guarded
// by our own mutex (which the thread sanitizer can see).
class Pump : public QObject {
public:
    explicit Pump(std::function<void()> drain) : m_drain(std::move(drain)) {}

    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        m_drain();
        return true;
    }

private:
    std::function<void()> m_drain;
};

} // namespace

MainQueue& MainQueue::shared() {
    static MainQueue queue;
    return queue;
}

// Made on the thread that first asks for the queue, which should be the main thread; the
// wake-up object works on the main thread whichever it was.
MainQueue::MainQueue() : m_pump(new Pump([this] { drain(); })) {
    if (QCoreApplication* app = QCoreApplication::instance())
        m_pump->moveToThread(app->thread());
}

void MainQueue::addOperation(const Lifetime& owner, std::function<void()> block) {
    {
        std::lock_guard lock(m_mutex);
        m_operations.push_back({owner.token(), std::move(block)});
        if (m_wakePending)
            return;
        m_wakePending = true;
    }
    QCoreApplication::postEvent(m_pump, new QEvent(QEvent::User));
}

void MainQueue::drain() {
    std::unique_lock lock(m_mutex);
    m_wakePending = false;
    while (!m_operations.empty()) {
        Operation operation = std::move(m_operations.front());
        m_operations.pop_front();
        lock.unlock();
        if (!operation.owner.expired())
            operation.block();
        operation = {};
        lock.lock();
    }
}

} // namespace Platform
