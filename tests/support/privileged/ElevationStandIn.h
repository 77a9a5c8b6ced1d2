#pragma once

#include "Platform/Authorization.h"
#include "Platform/ScopedReplacement.h"

#include <QString>
#include <optional>

// Stands in for pkexec of a release (its --version answer) while it lives:
// Platform::Authorization runs tools through a small script in a fresh folder of the test, as
// if the process were not root. The script checks pkexec's options as that release does (0.x
// releases know no --keep-cwd) and then runs the tool, or fails as pkexec does without running
// it. The destructor gives back the authorization service in place before.
class ElevationStandIn {
public:
    enum class Behaviour {
        RunTool,
        Dismiss, // the user dismissed the password prompt: exit 126
        Refuse,  // not authorized, or no authentication agent: exit 127
    };

    explicit ElevationStandIn(Behaviour behaviour = Behaviour::RunTool,
                              const QString& release = QStringLiteral("122"));
    ElevationStandIn(const ElevationStandIn&) = delete;
    ElevationStandIn& operator=(const ElevationStandIn&) = delete;

    [[nodiscard]] QString programPath() const { return m_programPath; }
    // How often the script was started.
    [[nodiscard]] int timesStarted() const;

private:
    QString m_programPath;
    QString m_startsPath;
    std::optional<Platform::ScopedReplacement<Platform::Authorization>> m_authorization;
};
