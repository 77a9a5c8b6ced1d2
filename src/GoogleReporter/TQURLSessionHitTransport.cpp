#include "GoogleReporter/TQURLSessionHitTransport.h"

// The URL session's data tasks are not in the tree yet: hits fail without a transfer.
QString TQURLSessionHitTransport::get(const QUrl& url) {
    return QStringLiteral("No URL session to send %1").arg(url.toString(QUrl::FullyEncoded));
}

void TQURLSessionHitTransport::cancel() {
    m_cancelled = true;
}
