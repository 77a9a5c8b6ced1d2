#include "LogCapture.h"

#include "Platform/Log.h"

LogCapture::LogCapture() {
    Platform::Log::setObserver([this](const QString& line) {
        std::lock_guard lock(m_mutex);
        m_lines.append(line);
    });
}

LogCapture::~LogCapture() {
    Platform::Log::setObserver(nullptr);
}

QStringList LogCapture::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool LogCapture::contains(const QString& line) const {
    return lines().contains(line);
}

void LogCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}
