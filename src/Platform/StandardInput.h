#pragma once

#include <QString>

namespace Platform {

// This process's own standard input.
class StandardInput {
public:
    // Reads everything to its end and drops it; a terminal is not waited on.
    static void discard();
    // Whether a person can answer here: standard input is a terminal.
    [[nodiscard]] static bool isTerminal();
    // One line typed there, without its end; null at the end of the input.
    [[nodiscard]] static QString readLine();
};

} // namespace Platform
