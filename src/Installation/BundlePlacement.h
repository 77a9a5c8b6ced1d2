#pragma once

#include <QString>
#include <stop_token>

namespace Platform {
class FileManager;
}

// Copies a bundle into its folder so that nothing half-made ever carries its final name: the
// copy is built under a hidden name beside it, ".<bundle name>.partial-<random>", and renamed
// once complete. Never overwrites. The install stage uses it as the user, the bundle's
// installbundle tool as the administrator.
class BundlePlacement {
public:
    explicit BundlePlacement(const Platform::FileManager& files) : m_files(files) {}

    // Removes the hidden copies of a bundle named `name` that interrupted runs left in `folder`.
    void removeStaleCopies(const QString& folder, const QString& name) const;
    // Copies `source` to `destination`, which must not exist. On failure or stop nothing of the
    // copy is left; *error (when given) says why.
    [[nodiscard]] bool copy(const QString& source, const QString& destination, QString* error,
                            std::stop_token stop = {}) const;

private:
    const Platform::FileManager& m_files;
};
