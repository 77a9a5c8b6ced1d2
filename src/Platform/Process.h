#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace Platform {

// A child process in the shape the installer's logic expects of one: a launch path, arguments,
// an optional working directory, and for each standard stream either the installer's own or a
// pipe. No shell is involved. Use from one thread at a time.
//
// A process that was launched but not waited for is reaped in the background when the object
// goes away; its pipes stay open until it has ended, so it never writes into a closed pipe.
class Process {
public:
    enum class Stream { Inherited, Pipe };

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
    // Blocks until the program has ended. False when it was never launched.
    bool waitUntilExit();

    [[nodiscard]] bool isRunning() const { return m_pid > 0 && !m_exited; }
    [[nodiscard]] pid_t processIdentifier() const { return m_pid; }
    // The exit code, or the number of the signal that ended the program; 0 before its end.
    [[nodiscard]] int terminationStatus() const { return m_status; }
    [[nodiscard]] bool terminatedBySignal() const { return m_signaled; }
    [[nodiscard]] QString errorString() const { return m_error; }

private:
    void closeAll();

    QString m_launchPath;
    QStringList m_arguments;
    QString m_currentDirectory;
    Stream m_stdinMode = Stream::Inherited;
    Stream m_stdoutMode = Stream::Inherited;
    Stream m_stderrMode = Stream::Inherited;

    pid_t m_pid = 0;
    bool m_exited = false;
    bool m_signaled = false;
    int m_status = 0;
    int m_stdin = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    QString m_error;
};

} // namespace Platform
