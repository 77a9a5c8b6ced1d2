#pragma once

#include "Platform/URLSession.h"

#include <QUrl>
#include <atomic>
#include <optional>

namespace Platform {

// Runs one download task on the calling thread, from its start (after the delay in the
// options) to its last delegate call queued on delegateQueue. Starts from resumeData's
// partial file when it is usable, else from url. Adds every body byte to bytesReceived.
void runDownloadTask(const URLSession::Configuration& configuration, URLSessionTaskState& state,
                     const URLSessionDownloadDelegate& delegate, OperationQueue& delegateQueue,
                     std::atomic<qint64>& bytesReceived, const QUrl& url,
                     const std::optional<URLSessionResumeData>& resumeData,
                     const URLSessionDownloadOptions& options);

} // namespace Platform
