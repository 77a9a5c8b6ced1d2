#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// Carries hits to the collector: classic hits as plain GETs whose reply is ignored, GA4
// requests as POSTs of JSON whose status counts.
class TQHitTransport {
public:
    virtual ~TQHitTransport() = default;

    // Performs the GET and returns when it has ended: a null string when the request went
    // through, else the transfer error's description. Called on the sender's queue only.
    virtual QString get(const QUrl& url) = 0;
    // Performs the POST with the header lines ("Name: value"): a null string when the server
    // answered below 400, else the failure's description. Called on the sender's queue only.
    virtual QString post(const QUrl& url, const QByteArray& body,
                         const QList<QByteArray>& headers) = 0;
    // Makes a running transfer end soon, and every later one at once. Safe from any thread.
    virtual void cancel() = 0;
};
