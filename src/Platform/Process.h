#pragma once

#include "Platform/FileDescriptor.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

namespace Platform {

// A child process in the shape the installer's logic expects of one: a launch path, arguments,
// an optional working directory, and for each standard stream either the installer's own or a
// pipe. No shell is involved. The child starts with no blocked signals and SIGPIPE at its
// default, whatever the installer chose for itself. Use from one thread at a time, except
// terminate(), which any thread may call, also while another waits.
//
// A process destroyed while its program runs closes its pipes, so the program is never blocked
// on one, and hands the program to one reaping point on the application's event loop that
// reaps it when it ends (without an application object, a program of the installer's own
// session is waited for at once). No zombie is left behind.
class Process {
public:
    enum class Stream { Inherited, Pipe };
    enum class Exit { Running, Ended, Unknown };

    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void setLaunchPath(const QString& launchPath) { m_launchPath = launchPath; }
    void setArguments(const QStringList& arguments) { m_arguments = arguments; }
    // A null path keeps the installer's own working directory.
    void setCurrentDirectoryPath(const QString& path) { m_currentDirectory = path; }
    void setStandardInput(Stream stream) { m_stdinMode = stream; }
    void setStandardOutput(Stream stream) { m_stdoutMode = stream; }
    void setStandardError(Stream stream) { m_stderrMode = stream; }
    // Standard error goes wherever standard output goes (its pipe included).
    void setStandardErrorToOutput() { m_stderrToOutput = true; }
    // The program starts a process group of its own, which terminate() signals whole.
    void setStartsProcessGroup(bool starts) { m_startsGroup = starts; }
    // The program starts a session (and process group) of its own, apart from the installer's
    // terminal and signals: for a program that outlives the installer.
    void setStartsSession(bool starts) { m_startsSession = starts; }

    // Starts the program. False when it could not be started; errorString() says why.
    [[nodiscard]] bool launch();

    // Writes everything to the standard-input pipe. False when there is no such pipe or
    // the program closed its end.
    [[nodiscard]] bool writeToStandardInput(const QByteArray& data);
    // Closes the installer's end of the standard-input pipe, so the program reads its end.
    void closeStandardInput();
    // Everything the program writes to its standard-output pipe until it closes it;
    // nothing when there is no such pipe or reading fails.
    [[nodiscard]] std::optional<QByteArray> readStandardOutputToEnd();
    // Hands the installer's end of the standard-output pipe to the caller; empty when none.
    [[nodiscard]] FileDescriptor takeStandardOutput();
    // Blocks until the program has ended. False when it was never launched or cannot be
    // waited for.
    bool waitUntilExit();
    // One look at the program without blocking: Unknown when it cannot be waited for.
    [[nodiscard]] Exit checkExit();
    // Asks the program to end (SIGTERM): its whole process group when it started one.
    // Nothing once its end has been seen.
    void terminate();

    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] int processIdentifier() const { return m_pid; }
    // The exit code, or the number of the signal that ended the program; 0 before its end.
    [[nodiscard]] int terminationStatus() const;
    [[nodiscard]] bool terminatedBySignal() const;
    [[nodiscard]] QString errorString() const { return m_error; }
    // The system's error number of the last failure, for callers that word it themselves.
    [[nodiscard]] int systemError() const { return m_systemError; }

private:
    void fail(const QString& error, int systemError);
    // With m_mutex held.
    void record(int waitStatus);

    QString m_launchPath;
    QStringList m_arguments;
    QString m_currentDirectory;
    Stream m_stdinMode = Stream::Inherited;
    Stream m_stdoutMode = Stream::Inherited;
    Stream m_stderrMode = Stream::Inherited;
    bool m_stderrToOutput = false;
    bool m_startsGroup = false;
    bool m_startsSession = false;

    int m_pid = 0;
    FileDescriptor m_stdin;
    FileDescriptor m_stdout;
    FileDescriptor m_stderr;
    QString m_error;
    int m_systemError = 0;

    // Guards the end below against terminate(): a program is signalled only before it is
    // reaped, so the signal never reaches a process that reused its number.
    mutable std::mutex m_mutex;
    bool m_exited = false;
    bool m_signaled = false;
    int m_status = 0;
};

} // namespace Platform
