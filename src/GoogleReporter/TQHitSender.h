#pragma once

#include "GoogleReporter/TQHitTransport.h"

#include <QUrl>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// Sends hits in the background, one at a time, on a single thread of its own (started with
// the first hit). At most `capacity` hits wait; past that a hit is dropped with a log line,
// so a dead collector can grow neither memory nor threads.
class TQHitSender {
public:
    static constexpr std::size_t capacity = 256;

    explicit TQHitSender(std::shared_ptr<TQHitTransport> transport);
    // Cancels what is still waiting or running and joins the thread.
    ~TQHitSender();
    TQHitSender(const TQHitSender&) = delete;
    TQHitSender& operator=(const TQHitSender&) = delete;

    // Queues the hit and returns at once. Safe from any thread.
    void enqueue(const QUrl& url);

    // Gives the hits already queued up to `budget` to go out, then cancels the rest and
    // stops: later hits are dropped. Returns how many queued hits were not sent.
    std::size_t finishSending(std::chrono::milliseconds budget);

private:
    void run();
    void stop();

    std::shared_ptr<TQHitTransport> m_transport;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QUrl> m_hits;
    bool m_busy = false;
    bool m_stopped = false;
    std::thread m_thread;
};
