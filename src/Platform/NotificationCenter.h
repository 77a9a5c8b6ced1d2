#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Platform {

// A notification: its name and the object it is about (not owned; may be null).
struct Notification {
    QString name;
    const void* object = nullptr;
};

// The process's notification centre. Observers register for a name; a post calls every
// observer of that name at once, on the posting thread, in the order they registered.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification& notification)>;
    using ObserverToken = uint64_t;

    static NotificationCenter& shared();

    [[nodiscard]] ObserverToken addObserver(const QString& name, Observer observer);
    // Safe from inside an observer; a removed observer is not called again.
    void removeObserver(ObserverToken token);
    void postNotification(const QString& name, const void* object);

private:
    NotificationCenter() = default;
    bool isRegistered(ObserverToken token);

    struct Registration {
        ObserverToken token;
        QString name;
        std::shared_ptr<Observer> observer;
    };

    std::mutex m_mutex;
    std::vector<Registration> m_registrations;
    ObserverToken m_nextToken = 1;
};

} // namespace Platform
