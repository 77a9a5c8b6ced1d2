#pragma once

namespace Platform {

// This process's own standard input.
class StandardInput {
public:
    // Reads everything to its end and drops it; a terminal is not waited on.
    static void discard();
};

} // namespace Platform
