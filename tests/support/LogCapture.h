#pragma once

#include <QString>
#include <QStringList>
#include <mutex>

// Collects the log lines written while it lives (from any thread).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    [[nodiscard]] QStringList lines() const;
    [[nodiscard]] bool contains(const QString& line) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};
