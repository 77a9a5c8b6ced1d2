#pragma once

#include <QString>
#include <functional>

namespace Platform {

// The system log: one line per message, without levels, in the usual
// "date time program[pid:tid] message" shape on standard error, and to syslog.
// Safe to call from any thread.
class Log {
public:
    static void write(const QString& message);

    // Tests watch the lines through this; it is called on the writing thread
    // after the line went out. An empty observer removes it.
    using Observer = std::function<void(const QString& message)>;
    static void setObserver(Observer observer);
};

} // namespace Platform
