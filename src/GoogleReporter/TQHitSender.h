#pragma once

#include "GoogleReporter/TQHitTransport.h"
#include "Platform/OperationQueue.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// Sends hits in the background, one event after another, on a serial queue of its own. At
// most `capacity` events wait; past that an event is dropped (the first drop logged at once,
// then a count at most once a minute), so a dead collector can grow neither memory, threads
// nor the log. GA4 events travel in batches of at most 25, each request sent about a second
// after its first event was taken up, or at once when full.
class TQHitSender {
public:
    static constexpr std::size_t capacity = 256;
    static constexpr std::chrono::seconds batchDelay{1};
    static constexpr std::chrono::minutes dropReportInterval{1};

    // Where GA4 requests go; a null endpoint sends none.
    struct MeasurementRequest {
        QUrl endpoint;
        QString clientId;
        QList<QByteArray> headers;
    };
    // The time of the drop reports; an empty one is the steady clock.
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit TQHitSender(std::shared_ptr<TQHitTransport> transport,
                         MeasurementRequest measurement = {}, Clock clock = {});
    // Cancels what is still waiting or running and waits for the running transfer to end.
    ~TQHitSender();
    TQHitSender(const TQHitSender&) = delete;
    TQHitSender& operator=(const TQHitSender&) = delete;

    // Queues one event, as a classic hit (a null URL: none) and as a GA4 event (empty: none),
    // and returns at once. Safe from any thread.
    void enqueue(const QUrl& hit, const QJsonObject& measurementEvent);

    // Sends the pending GA4 batch at once and gives the queued events up to `budget` to go
    // out, then cancels the rest and stops: later events are dropped. Returns how many
    // queued events were not sent.
    std::size_t finishSending(std::chrono::milliseconds budget);

private:
    void send(const QUrl& hit, const QJsonObject& measurementEvent);
    void sendBatch(std::uint64_t batch);
    void noteDropped();
    [[nodiscard]] QString dropReport(std::chrono::steady_clock::time_point now);
    void reportDrops();
    void stop();

    const std::shared_ptr<TQHitTransport> m_transport;
    const MeasurementRequest m_measurement;
    const Clock m_clock;
    std::atomic<bool> m_stopped{false};
    // Events accepted and not yet through (sent or failed): what a stop leaves unsent.
    std::atomic<std::size_t> m_unsent{0};

    // Used on the queue only.
    QJsonArray m_batch;
    std::uint64_t m_batchNumber = 0;
    bool m_measurementFailureLogged = false;

    // Drop reports, from the callers' threads.
    std::mutex m_dropMutex;
    bool m_hasDropped = false;
    std::size_t m_unreportedDrops = 0;
    std::chrono::steady_clock::time_point m_lastDropReport;

    // Last: its worker ends before the fields its blocks use.
    Platform::OperationQueue m_queue;
};
