#pragma once

#include <QByteArray>
#include <QString>

// Extracts `archive` into a fresh destination inside `work` (which is emptied first) and
// checks what an extraction of untrusted input must never do: leave anything outside the
// destination, leave a link inside that resolves outside, or report progress out of order.
// Returns an empty string when all held, else what went wrong.
[[nodiscard]] QString extractAndCheck(const QByteArray& archive, const QString& work);
