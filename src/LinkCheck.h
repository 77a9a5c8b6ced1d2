#pragma once

#include "Platform/URLSession.h"

#include <QString>
#include <QStringList>
#include <functional>

// Asks a link service for a bundle's links as the installer and a browser would, and says what
// each answers. Refuses every body, so a check moves headers only.
class LinkCheck {
public:
    LinkCheck(QString linkServiceRoot, QString productID, Platform::URLSession& session);

    // One line on what c<code> answered: status, final address, file name and, for the
    // packages (c1, c2), their kind and whether ranges and a validator are served. What would
    // break an installation is added to `problems`, one line each.
    [[nodiscard]] QString check(int code, QStringList& problems) const;

private:
    [[nodiscard]] static QString package(const Platform::URLResponse& response,
                                         const std::function<void(const QString&)>& problem);

    QString m_root;
    QString m_productID;
    Platform::URLSession& m_session;
};
