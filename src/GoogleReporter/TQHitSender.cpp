#include "GoogleReporter/TQHitSender.h"

#include "GoogleReporter/TQMeasurementProtocol.h"
#include "Platform/Log.h"

#include <utility>

namespace {

QString droppedCountLine(std::size_t drops) {
    return QStringLiteral("GoogleReporter %1 more hits dropped: %2 hits were already waiting.")
        .arg(drops)
        .arg(TQHitSender::capacity);
}

} // namespace

TQHitSender::TQHitSender(std::shared_ptr<TQHitTransport> transport, MeasurementRequest measurement,
                         Clock clock)
    : m_transport(std::move(transport)), m_measurement(std::move(measurement)),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }) {}

TQHitSender::~TQHitSender() {
    stop();
}

void TQHitSender::enqueue(const QUrl& hit, const QJsonObject& measurementEvent) {
    ++m_unsent;
    if (m_queue.addOperation([this, hit, measurementEvent] { send(hit, measurementEvent); },
                             capacity))
        return;
    --m_unsent;
    if (m_stopped)
        Platform::Log::write(QStringLiteral("GoogleReporter hit dropped: sending has ended."));
    else
        noteDropped();
}

std::size_t TQHitSender::finishSending(std::chrono::milliseconds budget) {
    if (!m_measurement.endpoint.isEmpty())
        m_queue.addOperation([this] { sendBatch(m_batchNumber); });
    (void)m_queue.waitUntilAllOperationsAreFinished(budget);
    stop();
    reportDrops();
    return m_unsent;
}

void TQHitSender::stop() {
    m_stopped = true;
    m_transport->cancel();
    m_queue.stop();
}

void TQHitSender::send(const QUrl& hit, const QJsonObject& measurementEvent) {
    // Blocks that start between the stop and the end of the queue send nothing.
    if (m_stopped)
        return;
    if (!hit.isEmpty()) {
        const QString error = m_transport->get(hit);
        // A transfer cut short by the stop is not a collector failure worth a line.
        if (m_stopped)
            return;
        if (!error.isNull())
            Platform::Log::write(error);
    }
    if (measurementEvent.isEmpty()) {
        --m_unsent;
        return;
    }
    m_batch.append(measurementEvent);
    if (m_batch.size() == 1) {
        const std::uint64_t batch = m_batchNumber;
        m_queue.addOperationAt([this, batch] { sendBatch(batch); },
                               Platform::OperationQueue::Clock::now() + batchDelay);
    }
    if (m_batch.size() >= TQMeasurementProtocol::maximumEventsPerRequest)
        sendBatch(m_batchNumber);
}

// Sends the pending batch when it is still number `batch` (an earlier full send or exit
// flush may have taken it).
void TQHitSender::sendBatch(std::uint64_t batch) {
    if (batch != m_batchNumber || m_batch.isEmpty() || m_stopped)
        return;
    const QJsonArray events = std::exchange(m_batch, QJsonArray());
    ++m_batchNumber;
    const QString error = m_transport->post(
        m_measurement.endpoint, TQMeasurementProtocol::requestBody(m_measurement.clientId, events),
        m_measurement.headers);
    if (m_stopped)
        return;
    m_unsent -= std::size_t(events.size());
    // Never retried; a collector that refuses one request likely refuses them all.
    if (error.isNull() || std::exchange(m_measurementFailureLogged, true))
        return;
    Platform::Log::write(
        QStringLiteral("GoogleReporter GA4 events dropped: %1 (later failures are not logged)")
            .arg(error));
}

void TQHitSender::noteDropped() {
    const QString line = dropReport(m_clock());
    if (!line.isNull())
        Platform::Log::write(line);
}

// The line a drop at `now` calls for: the first drop, then counts a minute apart; else null.
QString TQHitSender::dropReport(std::chrono::steady_clock::time_point now) {
    std::lock_guard lock(m_dropMutex);
    if (!std::exchange(m_hasDropped, true)) {
        m_lastDropReport = now;
        return QStringLiteral("GoogleReporter hit dropped: %1 hits are already waiting.")
            .arg(capacity);
    }
    ++m_unreportedDrops;
    if (now - m_lastDropReport < dropReportInterval)
        return QString();
    m_lastDropReport = now;
    return droppedCountLine(std::exchange(m_unreportedDrops, 0));
}

// The drops not reported yet, at the end of sending.
void TQHitSender::reportDrops() {
    std::size_t drops = 0;
    {
        std::lock_guard lock(m_dropMutex);
        drops = std::exchange(m_unreportedDrops, 0);
    }
    if (drops > 0)
        Platform::Log::write(droppedCountLine(drops));
}
