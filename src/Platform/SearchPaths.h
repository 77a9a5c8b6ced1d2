#pragma once

#include <QString>

namespace Platform {

// The applications folders the installer looks in and installs into: the user's own, and the
// machine-wide one as the install's first choice (local) and the installed-copy check's first
// look (system).
enum class ApplicationsFolder : long { User = 1, Local = 2, System = 8 };

// Where things live on this system. Every answer is derived from the environment at the
// time of the call (HOME, TMPDIR, XDG_*), so tests root them in a folder of their own;
// a test that needs other answers installs a subclass with ScopedReplacement.
class SearchPaths {
public:
    virtual ~SearchPaths() = default;

    static SearchPaths& shared();

    // The path of one applications folder, or a null string when there is none.
    [[nodiscard]] virtual QString applicationDirectory(ApplicationsFolder folder) const;
    // The user's application support folder ($XDG_DATA_HOME, else ~/.local/share).
    [[nodiscard]] virtual QString applicationSupportDirectory() const;
    // The temporary directory ($TMPDIR, else /tmp), always ending in "/".
    [[nodiscard]] virtual QString temporaryDirectory() const;
    // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config).
    [[nodiscard]] virtual QString configurationDirectory() const;
    // The user's state folder ($XDG_STATE_HOME, else ~/.local/state), home of the log file.
    [[nodiscard]] virtual QString stateDirectory() const;
    // Where the menu entries and icons of products installed into `folder` go: the user's data
    // folder for the user's own applications folder, /usr/local/share for a machine-wide one.
    [[nodiscard]] virtual QString desktopDataDirectory(ApplicationsFolder folder) const;
    // The user's home folder; a null string when HOME is unset or empty.
    [[nodiscard]] virtual QString homeDirectory() const;
};

} // namespace Platform
