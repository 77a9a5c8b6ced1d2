#include "Platform/Authorization.h"

#include "Platform/SharedInstance.h"

#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int firstReleaseKeepingDirectory = 121;

// pkexec asks for a password, so it is taken from the system's own folders only, never from
// a folder the user's PATH adds.
QString findElevationProgram() {
    return QStandardPaths::findExecutable(
        QStringLiteral("pkexec"),
        {QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/local/bin")});
}

// "pkexec version 0.105" or "pkexec version 122": older releases count as 0.N. Output that
// reads as neither is taken for a release that knows --keep-cwd.
bool keepsDirectory(const QString& program) {
    Process version;
    version.setLaunchPath(program);
    version.setArguments({QStringLiteral("--version")});
    version.setStandardOutput(Process::Stream::Pipe);
    if (!version.launch())
        return true;
    const QByteArray output = version.readStandardOutputToEnd().value_or(QByteArray());
    version.waitUntilExit();
    const QList<QByteArray> words = output.simplified().split(' ');
    QList<QByteArray> parts = words.constLast().split('.');
    if (parts.size() > 1 && parts.front() == "0")
        parts.removeFirst();
    bool isNumber = false;
    const int release = parts.front().toInt(&isNumber);
    return !isNumber || release >= firstReleaseKeepingDirectory;
}

} // namespace

Authorization::Authorization() : Authorization(findElevationProgram(), ::geteuid() == 0) {}

Authorization::Authorization(QString elevationProgram, bool runsAsRoot)
    : m_elevationProgram(std::move(elevationProgram)), m_runsAsRoot(runsAsRoot) {
    if (!m_runsAsRoot && !m_elevationProgram.isEmpty())
        m_keepsDirectory = keepsDirectory(m_elevationProgram);
}

Authorization& Authorization::shared() {
    return *SharedInstance<Authorization>::pointer();
}

bool Authorization::isAvailable() const {
    return m_runsAsRoot || !m_elevationProgram.isEmpty();
}

std::optional<PrivilegedChild> Authorization::runAsAdministrator(const QString& tool,
                                                                 const QStringList& arguments,
                                                                 const QString& directory) const {
    auto process = std::make_unique<Process>();
    if (m_runsAsRoot) {
        process->setLaunchPath(tool);
        process->setArguments(arguments);
    } else if (m_elevationProgram.isEmpty()) {
        return std::nullopt;
    } else {
        process->setLaunchPath(m_elevationProgram);
        // Without --keep-cwd a recent pkexec runs the tool in root's home folder; an older one
        // knows no such option. The child starts in the directory either way.
        const QStringList keep =
            m_keepsDirectory ? QStringList{QStringLiteral("--keep-cwd")} : QStringList();
        process->setArguments(keep + QStringList{tool} + arguments);
    }
    process->setCurrentDirectoryPath(directory);
    process->setStandardOutput(Process::Stream::Pipe);
    if (!process->launch())
        return std::nullopt;
    auto output = std::make_shared<QFile>();
    FileDescriptor readEnd = process->takeStandardOutput();
    if (!output->open(readEnd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return std::nullopt;
    (void)readEnd.release();
    return PrivilegedChild{std::move(output), std::move(process)};
}

} // namespace Platform
