#include "GoogleReporter/TQURLSessionHitTransport.h"

#include "Platform/URLSession.h"

namespace {

const QString abandoned = QStringLiteral("The hit was abandoned: sending has ended.");

} // namespace

TQURLSessionHitTransport::TQURLSessionHitTransport(std::shared_ptr<Platform::URLSession> session)
    : m_session(std::move(session)) {}

QString TQURLSessionHitTransport::get(const QUrl& url) {
    const std::stop_token stop = m_stop.get_token();
    if (stop.stop_requested())
        return abandoned;
    const std::shared_ptr<Platform::URLSession> session =
        m_session ? m_session : Platform::URLSession::sharedPointer();
    const QString error = session->get(url, stop);
    return stop.stop_requested() ? abandoned : error;
}

void TQURLSessionHitTransport::cancel() {
    m_stop.request_stop();
}
