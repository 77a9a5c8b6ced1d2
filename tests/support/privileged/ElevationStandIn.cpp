#include "ElevationStandIn.h"

#include "Platform/Authorization.h"
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

ElevationStandIn::ElevationStandIn(Behaviour behaviour) {
    const QString folder = TestEnvironment::makeFolder(QStringLiteral("elevation"));
    m_programPath = folder + QStringLiteral("/pkexec");
    m_startsPath = folder + QStringLiteral("/starts");
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "echo started >> '%1'\n"
                                          "[ \"$1\" = --keep-cwd ] || exit 125\n"
                                          "shift\n")
                               .arg(m_startsPath) +
                           lastLine(behaviour);
    QFile file(m_programPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        throw std::runtime_error("cannot write the pkexec stand-in");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    Platform::Authorization::shared().setElevationProgram(m_programPath);
    Platform::Authorization::shared().setRunsAsRoot(false);
}

ElevationStandIn::~ElevationStandIn() {
    Platform::Authorization::shared().restoreSystemDefaults();
}

int ElevationStandIn::timesStarted() const {
    QFile file(m_startsPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count('\n'));
}
