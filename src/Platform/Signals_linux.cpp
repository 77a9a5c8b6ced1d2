#include "Platform/Signals.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace Platform {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void Signals::ignoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

void Signals::holdBackStopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void Signals::waitForStopSignal() {
    const sigset_t set = stopSignals();
    int received = 0;
    while (sigwait(&set, &received) != 0) {
    }
}

} // namespace Platform
