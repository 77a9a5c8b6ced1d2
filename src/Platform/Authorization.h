#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <vector>

class QFile;

namespace Platform {

// Status values of the authorization service; 0 is success.
constexpr int32_t errAuthorizationSuccess = 0;
constexpr int32_t errAuthorizationInvalidRef = -60002;
constexpr int32_t errAuthorizationInvalidPointer = -60004;
constexpr int32_t errAuthorizationToolExecuteFailure = -60031;

// Flags of the authorization calls, with the values the installer's logic uses.
enum AuthorizationFlags : uint32_t {
    kAuthorizationFlagDefaults = 0,
    kAuthorizationFlagInteractionAllowed = 1,
    kAuthorizationFlagExtendRights = 2,
    kAuthorizationFlagPreAuthorize = 16,
};

// The right to run one tool as the administrator; its value is the tool's path.
inline constexpr char kAuthorizationRightExecute[] = "system.privilege.admin";

struct AuthorizationItem {
    QByteArray name;
    QByteArray value;
    uint32_t flags = 0;
};
using AuthorizationRights = std::vector<AuthorizationItem>;

struct AuthorizationOpaqueRef;
using AuthorizationRef = AuthorizationOpaqueRef*;

// A tool started by the run-as-administrator call: the read end of its standard output
// (closed when the last owner lets go) and the child process to wait for.
struct PrivilegedChild {
    std::shared_ptr<QFile> output;
    pid_t processIdentifier = 0;
};

// Runs one tool as the administrator. On Linux this is polkit's pkexec, which asks the
// user itself when the tool starts, so creating an authorization and copying rights
// always succeed. When the process already runs as root the tool is run directly.
// Safe to call from any thread.
class Authorization {
public:
    static Authorization& shared();

    [[nodiscard]] int32_t create(const AuthorizationRights* rights, uint32_t flags,
                                 AuthorizationRef* authorization);
    [[nodiscard]] int32_t copyRights(AuthorizationRef authorization,
                                     const AuthorizationRights& rights, uint32_t flags);
    void free(AuthorizationRef authorization, uint32_t flags);

    // Whether the run-as-administrator call exists here: pkexec was found when the service
    // was first used, or the process runs as root.
    [[nodiscard]] bool executeWithPrivilegesAvailable() const;
    // Starts pathToTool with the arguments as separate, unchanged words (no shell), in
    // directory, its standard output on a pipe. The process's own directory never changes.
    [[nodiscard]] int32_t executeWithPrivileges(AuthorizationRef authorization,
                                                const QByteArray& pathToTool, uint32_t options,
                                                const QByteArrayList& arguments,
                                                const QByteArray& directory,
                                                PrivilegedChild* child);

    // For tests: the program that stands in for pkexec (called as "PROGRAM --keep-cwd TOOL
    // ARGS..."; empty for none), and whether the process counts as root.
    void setElevationProgram(const QString& path);
    void setRunsAsRoot(bool runsAsRoot);
    // Back to what was found on the system.
    void restoreSystemDefaults();
    [[nodiscard]] QString elevationProgram() const;
    [[nodiscard]] bool runsAsRoot() const;

private:
    Authorization();

    mutable std::mutex m_mutex;
    QString m_systemElevationProgram;
    bool m_systemRunsAsRoot = false;
    QString m_elevationProgram;
    bool m_runsAsRoot = false;
};

} // namespace Platform
