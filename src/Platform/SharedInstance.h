#pragma once

#include <memory>
#include <mutex>

namespace Platform {

template <class Service> class ScopedReplacement;

// The process-wide instance of a platform service. The first use makes the system's own:
// Service::systemInstance() where the service declares one, else a default-constructed one.
// Only ScopedReplacement swaps it. Safe to use from any thread; a replacement should happen
// while no other thread works with the instance it replaces (test set-up).
template <class Service> class SharedInstance {
public:
    [[nodiscard]] static std::shared_ptr<Service> pointer() {
        std::lock_guard lock(mutex());
        std::shared_ptr<Service>& current = slot();
        if (!current)
            current = makeSystemInstance();
        return current;
    }

private:
    friend class ScopedReplacement<Service>;

    static std::shared_ptr<Service> exchange(std::shared_ptr<Service> next) {
        std::lock_guard lock(mutex());
        std::shared_ptr<Service> previous = std::move(slot());
        slot() = std::move(next);
        return previous;
    }
    static std::shared_ptr<Service> makeSystemInstance() {
        if constexpr (requires { Service::systemInstance(); })
            return Service::systemInstance();
        else
            return std::make_shared<Service>();
    }
    static std::mutex& mutex() {
        static std::mutex instanceMutex;
        return instanceMutex;
    }
    static std::shared_ptr<Service>& slot() {
        static std::shared_ptr<Service> instance;
        return instance;
    }
};

} // namespace Platform
