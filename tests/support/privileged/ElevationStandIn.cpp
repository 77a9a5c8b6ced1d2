#include "ElevationStandIn.h"

#include "TestEnvironment.h"

#include <QFile>
#include <stdexcept>

namespace {

QString lastLine(ElevationStandIn::Behaviour behaviour) {
    switch (behaviour) {
    case ElevationStandIn::Behaviour::Dismiss:
        return QStringLiteral("exit 126\n");
    case ElevationStandIn::Behaviour::Refuse:
        return QStringLiteral("exit 127\n");
    case ElevationStandIn::Behaviour::RunTool:
        break;
    }
    return QStringLiteral("exec \"$@\"\n");
}

} // namespace

ElevationStandIn::ElevationStandIn(Behaviour behaviour, const QString& release) {
    const QString folder = TestEnvironment::makeFolder(QStringLiteral("elevation"));
    m_programPath = folder + QStringLiteral("/pkexec");
    m_startsPath = folder + QStringLiteral("/starts");
    const QString keepCwd = release.startsWith(QStringLiteral("0."))
                                ? QStringLiteral("[ \"$1\" = --keep-cwd ] && exit 127\n")
                                : QStringLiteral("[ \"$1\" = --keep-cwd ] || exit 125\nshift\n");
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "[ \"$1\" = --version ] && echo 'pkexec version %1' && "
                                          "exit 0\n"
                                          "echo started >> '%2'\n")
                               .arg(release, m_startsPath) +
                           keepCwd + lastLine(behaviour);
    QFile file(m_programPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        throw std::runtime_error("cannot write the pkexec stand-in");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    m_authorization.emplace(std::make_shared<Platform::Authorization>(m_programPath, false));
}

int ElevationStandIn::timesStarted() const {
    QFile file(m_startsPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count('\n'));
}
