#pragma once

namespace Platform {

// How a tool's process treats signals.
class Signals {
public:
    // A write to a pipe nobody reads any more fails with an error instead of ending the process.
    static void ignoreBrokenPipe();
    // Holds SIGINT and SIGTERM back in the calling thread and in every thread it starts later,
    // so that waitForStopSignal() takes them. Call before starting any thread.
    static void holdBackStopSignals();
    // Blocks until SIGINT or SIGTERM arrives (held back as above).
    static void waitForStopSignal();
};

} // namespace Platform
