#pragma once

#include <QString>
#include <memory>

namespace Platform {

// Domain masks of the folder lookups, with the values the installer's logic uses.
enum DomainMask : long {
    UserDomainMask = 1,
    LocalDomainMask = 2,
    NetworkDomainMask = 4,
    SystemDomainMask = 8,
};

// Where things live on this system. Every answer is derived from the environment at the
// time of the call (HOME, TMPDIR, XDG_*), so tests root them in a folder of their own;
// a test that needs other answers installs a subclass with setShared().
class SearchPaths {
public:
    virtual ~SearchPaths() = default;

    static SearchPaths& shared();
    // Replaces the process-wide instance; nullptr restores the system one.
    // Only while no other thread uses the search paths (test set-up).
    static void setShared(std::shared_ptr<SearchPaths> searchPaths);

    // The applications folder of one domain, or a null string when the domain has none.
    [[nodiscard]] virtual QString applicationDirectory(long domainMask) const;
    // The user's application support folder ($XDG_DATA_HOME, else ~/.local/share).
    [[nodiscard]] virtual QString applicationSupportDirectory() const;
    // The temporary directory ($TMPDIR, else /tmp), always ending in "/".
    [[nodiscard]] virtual QString temporaryDirectory() const;
    // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config).
    [[nodiscard]] virtual QString configurationDirectory() const;
    // The user's home folder; a null string when HOME is unset or empty.
    [[nodiscard]] virtual QString homeDirectory() const;
};

} // namespace Platform
