#pragma once

#include "Platform/Process.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFile;

namespace Platform {

// A tool started as the administrator: the read end of its standard output (closed when the
// last owner lets go) and the running child.
struct PrivilegedChild {
    std::shared_ptr<QFile> output;
    std::unique_ptr<Process> process;
};

// Runs one tool as the administrator: through polkit's pkexec, which asks the user itself when
// the tool starts, or directly when the installer already runs as root. Safe to use from any
// thread. Tests stand in for pkexec by replacing the instance with ScopedReplacement.
class Authorization {
public:
    // What the system has: pkexec from the system's own folders; root when the process is.
    Authorization();
    // A stand-in for pkexec (empty for none), and whether the process counts as root.
    Authorization(QString elevationProgram, bool runsAsRoot);

    static Authorization& shared();

    // Whether a tool can be run as the administrator here: pkexec was found, or the process
    // runs as root.
    [[nodiscard]] bool isAvailable() const;
    // Starts `tool` with the arguments as separate, unchanged words (no shell), in `directory`,
    // its standard output on a pipe. Nothing when it could not be started.
    [[nodiscard]] std::optional<PrivilegedChild> runAsAdministrator(const QString& tool,
                                                                    const QStringList& arguments,
                                                                    const QString& directory) const;

    [[nodiscard]] QString elevationProgram() const { return m_elevationProgram; }
    [[nodiscard]] bool runsAsRoot() const { return m_runsAsRoot; }

private:
    QString m_elevationProgram;
    bool m_runsAsRoot = false;
    // Whether the elevation program keeps the working directory for the tool when asked
    // (--keep-cwd, polkit 121 and later); asked once, when the instance is made.
    bool m_keepsDirectory = true;
};

} // namespace Platform
