#include "Platform/MainQueue.h"

#include "Platform/Log.h"

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

MainQueue::MainQueue() = default;

void MainQueue::addOperation(std::function<void()> block) {
    {
        std::lock_guard lock(m_mutex);
        m_blocks.push_back(std::move(block));
        if (m_wakePending)
            return;
        m_wakePending = true;
    }
    wake();
}

void MainQueue::wake() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        Log::write(QStringLiteral("Main queue: no application object yet; blocks wait"));
        std::lock_guard lock(m_mutex);
        m_wakePending = false;
        return;
    }
    QObject* pump = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pump) {
            m_pump = new Pump([this] { drain(); });
            m_pump->moveToThread(app->thread());
        }
        pump = m_pump;
    }
    QCoreApplication::postEvent(pump, new QEvent(QEvent::User));
}

void MainQueue::drain() {
    std::unique_lock lock(m_mutex);
    m_wakePending = false;
    while (!m_blocks.empty()) {
        std::function<void()> block = std::move(m_blocks.front());
        m_blocks.pop_front();
        lock.unlock();
        block();
        block = nullptr;
        lock.lock();
    }
}

} // namespace Platform
