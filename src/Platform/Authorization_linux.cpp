#include "Platform/Authorization.h"

#include "Platform/FileDescriptor.h"

#include <QFile>
#include <QStandardPaths>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace Platform {

struct AuthorizationOpaqueRef {};

namespace {

// pkexec asks for a password, so it is taken from the system's own folders only, never from
// a folder the user's PATH adds.
QString findElevationProgram() {
    return QStandardPaths::findExecutable(
        QStringLiteral("pkexec"),
        {QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/local/bin")});
}

class SpawnSettings {
public:
    SpawnSettings(int outputFd, const QByteArray& directory) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
        m_valid = posix_spawn_file_actions_adddup2(&m_actions, outputFd, STDOUT_FILENO) == 0 &&
                  posix_spawn_file_actions_addchdir_np(&m_actions, directory.constData()) == 0 &&
                  resetSignals() == 0;
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&m_attributes);
        posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    [[nodiscard]] bool valid() const { return m_valid; }
    const posix_spawn_file_actions_t* actions() const { return &m_actions; }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }

private:
    // The tool starts with no blocked signals and SIGPIPE at its default, whatever this
    // process (or a library in it) chose for itself.
    int resetSignals() {
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        if (posix_spawnattr_setsigmask(&m_attributes, &none) != 0 ||
            posix_spawnattr_setsigdefault(&m_attributes, &defaults) != 0)
            return -1;
        return posix_spawnattr_setflags(&m_attributes,
                                        POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }

    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
    bool m_valid = false;
};

// Starts commandLine[0] with commandLine as its argument vector.
int32_t spawn(const QByteArrayList& commandLine, const QByteArray& directory,
              PrivilegedChild* child) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return errAuthorizationToolExecuteFailure;
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);

    const SpawnSettings settings(writeEnd.get(), directory);
    if (!settings.valid())
        return errAuthorizationToolExecuteFailure;
    std::vector<char*> argv;
    for (const QByteArray& word : commandLine)
        argv.push_back(const_cast<char*>(word.constData()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, argv.front(), settings.actions(), settings.attributes(), argv.data(),
                    environ) != 0)
        return errAuthorizationToolExecuteFailure;

    auto output = std::make_shared<QFile>();
    if (!output->open(readEnd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return errAuthorizationToolExecuteFailure;
    readEnd.release();
    child->output = std::move(output);
    child->processIdentifier = pid;
    return errAuthorizationSuccess;
}

} // namespace

Authorization& Authorization::shared() {
    static Authorization authorization;
    return authorization;
}

Authorization::Authorization()
    : m_systemElevationProgram(findElevationProgram()), m_systemRunsAsRoot(geteuid() == 0),
      m_elevationProgram(m_systemElevationProgram), m_runsAsRoot(m_systemRunsAsRoot) {}

int32_t Authorization::create(const AuthorizationRights*, uint32_t,
                              AuthorizationRef* authorization) {
    if (!authorization)
        return errAuthorizationInvalidPointer;
    *authorization = new AuthorizationOpaqueRef;
    return errAuthorizationSuccess;
}

int32_t Authorization::copyRights(AuthorizationRef authorization, const AuthorizationRights&,
                                  uint32_t) {
    return authorization ? errAuthorizationSuccess : errAuthorizationInvalidRef;
}

void Authorization::free(AuthorizationRef authorization, uint32_t) {
    delete authorization;
}

bool Authorization::executeWithPrivilegesAvailable() const {
    std::lock_guard lock(m_mutex);
    return m_runsAsRoot || !m_elevationProgram.isEmpty();
}

int32_t Authorization::executeWithPrivileges(AuthorizationRef authorization,
                                             const QByteArray& pathToTool, uint32_t,
                                             const QByteArrayList& arguments,
                                             const QByteArray& directory, PrivilegedChild* child) {
    if (!authorization)
        return errAuthorizationInvalidRef;
    if (!child)
        return errAuthorizationInvalidPointer;
    QByteArrayList commandLine;
    {
        std::lock_guard lock(m_mutex);
        if (!m_runsAsRoot) {
            if (m_elevationProgram.isEmpty())
                return errAuthorizationToolExecuteFailure;
            // Without --keep-cwd pkexec would run the tool in root's home folder.
            commandLine << QFile::encodeName(m_elevationProgram) << QByteArrayLiteral("--keep-cwd");
        }
    }
    commandLine << pathToTool << arguments;
    return spawn(commandLine, directory, child);
}

void Authorization::setElevationProgram(const QString& path) {
    std::lock_guard lock(m_mutex);
    m_elevationProgram = path;
}

void Authorization::setRunsAsRoot(bool runsAsRoot) {
    std::lock_guard lock(m_mutex);
    m_runsAsRoot = runsAsRoot;
}

void Authorization::restoreSystemDefaults() {
    std::lock_guard lock(m_mutex);
    m_elevationProgram = m_systemElevationProgram;
    m_runsAsRoot = m_systemRunsAsRoot;
}

QString Authorization::elevationProgram() const {
    std::lock_guard lock(m_mutex);
    return m_elevationProgram;
}

bool Authorization::runsAsRoot() const {
    std::lock_guard lock(m_mutex);
    return m_runsAsRoot;
}

} // namespace Platform
