#pragma once

#include <functional>

namespace Platform {

// Turns the requests to end the process (SIGTERM, SIGINT, SIGHUP) into a call on the main
// thread, so the program can end its work and quit as it would from its menu.
class TerminationSignals {
public:
    // From now on each such signal calls `handler` on the main thread's event loop. Call once,
    // on the main thread, after the application object exists.
    static void handleWith(std::function<void()> handler);
};

} // namespace Platform
