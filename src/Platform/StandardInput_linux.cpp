#include "Platform/StandardInput.h"

#include <cerrno>
#include <unistd.h>

namespace Platform {

void StandardInput::discard() {
    if (::isatty(STDIN_FILENO))
        return;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0 ||
           (count < 0 && errno == EINTR)) {
    }
}

} // namespace Platform
