#pragma once

#include <QByteArray>

namespace Platform {

// A cheap look at the bytes of a property list before the parser sees them, which frees what it
// built recursively and expands every shared reference of a binary list anew. Binary lists are
// followed through their offset table and object references; XML lists by their tags.
class PropertyListShape {
public:
    // False when containers nest deeper than maximumDepth (the top one counts as 1), or when a
    // binary list's references cycle, point outside the list, or expand it, as a tree, to more
    // values than it has bytes (each reference takes a byte at least, so only containers
    // shared on purpose do that).
    [[nodiscard]] static bool fitsWithin(const QByteArray& bytes, int maximumDepth);
};

} // namespace Platform
