#pragma once

#include <QString>

namespace Platform {

// The account the installer runs as.
class UserAccount {
public:
    // The effective user's login name from the password database, else $USER or $LOGNAME;
    // empty when none is known.
    [[nodiscard]] static QString loginName();
};

} // namespace Platform
