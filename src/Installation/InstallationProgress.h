#pragma once

#include <QtGlobal>

// What an installation is doing, in more detail than its percentage: the stage and, while
// downloading, the bytes, the speed and the time left. Unknown figures are negative.
struct InstallationProgress {
    enum class Stage { Downloading, Unpacking, Installing };

    Stage stage = Stage::Downloading;
    qint64 bytesDone = 0;
    qint64 bytesTotal = -1;     // the server gave no length
    double bytesPerSecond = -1; // not measured yet
    double secondsLeft = -1;    // not meaningful yet
    bool retrying = false;      // a continuation waits for its pause

    bool operator==(const InstallationProgress&) const = default;
};
