#pragma once

#include <QString>
#include <QUrl>

namespace Platform {

// Opening web addresses and application bundles, as the desktop's file browser would.
// Tests install a recording subclass with ScopedReplacement.
class Workspace {
public:
    virtual ~Workspace() = default;

    static Workspace& shared();

    // A web address goes to the user's browser; a file URL must name an application bundle,
    // whose program is started. True when the browser accepted the address or the program
    // was started; false for a bundle without a program for this system.
    virtual bool openURL(const QUrl& url);
    // Starts the bundle's program (Contents/Linux/<CFBundleExecutable>) detached, in a session
    // of its own, without a shell; on failure *error (when given) says why.
    virtual bool launchApplication(const QUrl& applicationURL, QString* error);
};

} // namespace Platform
