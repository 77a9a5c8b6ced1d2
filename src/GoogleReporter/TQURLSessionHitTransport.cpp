#include "GoogleReporter/TQURLSessionHitTransport.h"

#include "Platform/URLSession.h"

namespace {

const QString abandoned = QStringLiteral("The hit was abandoned: sending has ended.");

} // namespace

TQURLSessionHitTransport::TQURLSessionHitTransport(std::shared_ptr<Platform::URLSession> session)
    : m_session(std::move(session)) {}

std::shared_ptr<Platform::URLSession> TQURLSessionHitTransport::session() const {
    return m_session ? m_session : Platform::URLSession::sharedPointer();
}

QString TQURLSessionHitTransport::get(const QUrl& url) {
    const std::stop_token stop = m_stop.get_token();
    if (stop.stop_requested())
        return abandoned;
    const QString error = session()->get(url, stop);
    return stop.stop_requested() ? abandoned : error;
}

QString TQURLSessionHitTransport::post(const QUrl& url, const QByteArray& body,
                                       const QList<QByteArray>& headers) {
    const std::stop_token stop = m_stop.get_token();
    if (stop.stop_requested())
        return abandoned;
    const QString error = session()->post(url, body, headers, stop);
    return stop.stop_requested() ? abandoned : error;
}

void TQURLSessionHitTransport::cancel() {
    m_stop.request_stop();
}
