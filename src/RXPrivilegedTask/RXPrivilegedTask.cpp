#include "RXPrivilegedTask/RXPrivilegedTask.h"

// Placeholder until the privileged task is built: nothing can be run as administrator.
RXPrivilegedTask::RXPrivilegedTask() = default;
RXPrivilegedTask::~RXPrivilegedTask() = default;
void RXPrivilegedTask::setLaunchPath(const QString&) {}
void RXPrivilegedTask::setArguments(const QStringList&) {}
int32_t RXPrivilegedTask::launch() {
    return -70001;
}
void RXPrivilegedTask::waitUntilExit() {}
int32_t RXPrivilegedTask::terminationStatus() const {
    return 0;
}
