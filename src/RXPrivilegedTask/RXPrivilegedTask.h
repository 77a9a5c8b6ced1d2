#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Runs one tool as the administrator and follows it to its end.
class RXPrivilegedTask {
public:
    RXPrivilegedTask();
    ~RXPrivilegedTask();
    RXPrivilegedTask(const RXPrivilegedTask&) = delete;
    RXPrivilegedTask& operator=(const RXPrivilegedTask&) = delete;

    void setLaunchPath(const QString& launchPath);
    void setArguments(const QStringList& arguments);
    // 0 when the tool was started; otherwise the authorization service's status.
    int32_t launch();
    void waitUntilExit();
    [[nodiscard]] int32_t terminationStatus() const;
};
