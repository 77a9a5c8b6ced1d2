#pragma once

#include <QString>
#include <QUrl>

// Carries one hit to the collector: a plain GET whose reply is ignored.
class TQHitTransport {
public:
    virtual ~TQHitTransport() = default;

    // Performs the GET and returns when it has ended: a null string when the request went
    // through, else the transfer error's description. Called on the sender's thread only.
    virtual QString get(const QUrl& url) = 0;
    // Makes a running get() end soon, and every later one at once. Safe from any thread.
    virtual void cancel() = 0;
};
