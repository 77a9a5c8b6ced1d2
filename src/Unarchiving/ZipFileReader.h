#pragma once

#include <QString>
#include <minizip/unzip.h>

// Opens archives for minizip through positioned reads and a small cache of its own. minizip
// seeks before nearly every record it reads, and through the C library each seek dropped the
// stream's buffer: a seek and a read or more per central record and per local header. Here the
// central directory comes in a few reads, and a small entry with its header in one.
class ZipFileReader {
public:
    // The archive at `path`, a regular file, opened read-only; null when it cannot be.
    [[nodiscard]] static unzFile open(const QString& path);
};
