#include "TransferRate.h"

#include <algorithm>

namespace {

constexpr double window = 5.0;          // seconds the speed is averaged over
constexpr double shortestMeasure = 1.0; // seconds before a speed is told
constexpr double settleTime = 3.0;      // seconds before the time left is told

} // namespace

void TransferRate::reset() {
    m_readings.clear();
    m_started = -1;
}

void TransferRate::add(double seconds, qint64 bytes) {
    if (!m_readings.empty() && bytes < m_readings.back().second)
        reset();
    if (m_started < 0)
        m_started = seconds;
    m_readings.emplace_back(seconds, bytes);
    // Keeps one reading at least a window old, so the speed spans the whole window.
    while (m_readings.size() > 2 && seconds - m_readings[1].first >= window)
        m_readings.pop_front();
}

double TransferRate::bytesPerSecond() const {
    if (m_readings.size() < 2)
        return -1;
    const auto& [firstTime, firstBytes] = m_readings.front();
    const auto& [lastTime, lastBytes] = m_readings.back();
    const double span = lastTime - firstTime;
    if (span < shortestMeasure)
        return -1;
    return double(lastBytes - firstBytes) / span;
}

double TransferRate::secondsLeft(qint64 total) const {
    const double speed = bytesPerSecond();
    if (total < 0 || speed <= 0 || m_readings.back().first - m_started < settleTime)
        return -1;
    return double(std::max<qint64>(0, total - m_readings.back().second)) / speed;
}
