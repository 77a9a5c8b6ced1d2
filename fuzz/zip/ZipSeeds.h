#pragma once

#include <QString>

// Writes the hazard archives (unsafe names, links leading out, lying sizes and CRCs, broken
// and empty archives) and a few ordinary ones into folder, one file each, as fuzz seeds.
// Returns the number written.
int writeZipSeeds(const QString& folder);
