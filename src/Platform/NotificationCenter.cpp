#include "Platform/NotificationCenter.h"

#include <algorithm>

namespace Platform {

NotificationCenter& NotificationCenter::shared() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(const QString& name,
                                                                  Observer observer) {
    std::lock_guard lock(m_mutex);
    const ObserverToken token = m_nextToken++;
    m_registrations.push_back({token, name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_registrations,
                  [token](const Registration& each) { return each.token == token; });
}

bool NotificationCenter::isRegistered(ObserverToken token) {
    std::lock_guard lock(m_mutex);
    return std::ranges::any_of(m_registrations,
                               [token](const Registration& each) { return each.token == token; });
}

void NotificationCenter::postNotification(const QString& name, const void* object) {
    std::vector<std::pair<ObserverToken, std::shared_ptr<Observer>>> matching;
    {
        std::lock_guard lock(m_mutex);
        for (const Registration& each : m_registrations)
            if (each.name == name)
                matching.emplace_back(each.token, each.observer);
    }
    // Called without the lock, so observers may add or remove observers and post.
    const Notification notification{name, object};
    for (const auto& [token, observer] : matching) {
        if (!isRegistered(token))
            continue;
        if (*observer)
            (*observer)(notification);
    }
}

} // namespace Platform
