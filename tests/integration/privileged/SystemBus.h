#pragma once

#include <QString>
#include <sys/types.h>

// The system D-Bus that polkit's pkexec talks to. When none answers, one is started with
// "dbus-daemon --system --fork" and, with the polkitd it activated, ended again by the
// destructor, which also removes the files the daemon left in /run/dbus. A lock on /run/dbus
// keeps two test processes from starting or ending the bus under each other.
class SystemBus {
public:
    SystemBus();
    ~SystemBus();
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    // Empty when the bus is there; otherwise why it could not be had.
    [[nodiscard]] QString unavailableReason() const { return m_unavailableReason; }

private:
    [[nodiscard]] QString start();
    void stop();

    QString m_unavailableReason;
    int m_lock = -1;
    bool m_createdFolder = false;
    pid_t m_daemon = 0;
};
