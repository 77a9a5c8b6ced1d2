#pragma once

#include <QString>
#include <functional>

namespace Platform {

// The system log: one line per message, without levels, in the usual
// "date time program[pid:tid] message" shape on standard error (while verbose), to syslog and,
// once a file is set, to that file as well. Safe to call from any thread.
class Log {
public:
    static void write(const QString& message);
    // Whether lines also go to standard error; on until the program says otherwise.
    static void setVerbose(bool verbose);

    // Every later line also goes to `path` (its folder is made, private to the user). The file
    // is kept under 1 MB: a line that would pass that moves the file to "<path>.1", replacing
    // the one before. False when the file cannot be opened; lines then go on without it.
    static bool setFile(const QString& path);
    // The file lines go to; null when there is none.
    [[nodiscard]] static QString filePath();

    // Tests watch the lines through this; it is called on the writing thread
    // after the line went out. An empty observer removes it.
    using Observer = std::function<void(const QString& message)>;
    static void setObserver(Observer observer);
};

} // namespace Platform
