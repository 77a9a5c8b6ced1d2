#pragma once

#include <QtGlobal>
#include <deque>
#include <utility>

// The speed of a transfer over its last few seconds, and how long the rest will take at that
// speed. Fed with readings of a monotonic clock (seconds) and the bytes transferred so far.
// Not thread-safe: one transfer, one thread.
class TransferRate {
public:
    // Starts over: a new transfer, or one that starts again from fewer bytes.
    void reset();
    void add(double seconds, qint64 bytes);
    // Bytes per second over the window; negative until a second has been measured.
    [[nodiscard]] double bytesPerSecond() const;
    // Seconds until `total` bytes at the current speed; negative until that is meaningful:
    // the length is known, the transfer has run a few seconds and moves.
    [[nodiscard]] double secondsLeft(qint64 total) const;

private:
    // (seconds, bytes), oldest first; the first one is at least the window's length old once
    // there are enough readings.
    std::deque<std::pair<double, qint64>> m_readings;
    double m_started = -1;
};
