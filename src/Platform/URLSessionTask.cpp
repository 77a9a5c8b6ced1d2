#include "Platform/URLSessionTask.h"

namespace Platform {

URLSessionTask::URLSessionTask(std::shared_ptr<URLSessionTaskState> state)
    : m_state(std::move(state)) {}

void URLSessionTask::cancel() {
    m_state->cancel();
}

void URLSessionTask::waitUntilFinished() {
    m_state->waitUntilFinished();
}

} // namespace Platform
