#pragma once

#include "Platform/SharedInstance.h"

namespace Platform {

// Replaces the process-wide instance of a platform service for the life of this object and
// puts back the one before it at the end of the scope:
//   const ScopedReplacement<Workspace> workspace(std::make_shared<RecordingWorkspace>());
// Replacements nest. Make one while no other thread uses the service (test set-up).
template <class Service> class [[nodiscard]] ScopedReplacement {
public:
    explicit ScopedReplacement(std::shared_ptr<Service> replacement)
        : m_previous(SharedInstance<Service>::exchange(std::move(replacement))) {}
    ~ScopedReplacement() { (void)SharedInstance<Service>::exchange(std::move(m_previous)); }
    ScopedReplacement(const ScopedReplacement&) = delete;
    ScopedReplacement& operator=(const ScopedReplacement&) = delete;

private:
    std::shared_ptr<Service> m_previous;
};

} // namespace Platform
