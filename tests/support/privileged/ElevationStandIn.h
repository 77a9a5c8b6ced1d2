#pragma once

#include <QString>

// Stands in for pkexec while it lives: Platform::Authorization runs tools through a small
// script in a fresh folder of the test, as if the process were not root. The script checks
// pkexec's options and then runs the tool, or fails as pkexec does without running it.
// The destructor gives the authorization service back its system settings.
class ElevationStandIn {
public:
    enum class Behaviour {
        RunTool,
        Dismiss, // the user dismissed the password prompt: exit 126
        Refuse,  // not authorized, or no authentication agent: exit 127
    };

    explicit ElevationStandIn(Behaviour behaviour = Behaviour::RunTool);
    ~ElevationStandIn();
    ElevationStandIn(const ElevationStandIn&) = delete;
    ElevationStandIn& operator=(const ElevationStandIn&) = delete;

    [[nodiscard]] QString programPath() const { return m_programPath; }
    // How often the script was started.
    [[nodiscard]] int timesStarted() const;

private:
    QString m_programPath;
    QString m_startsPath;
};
