#include "Platform/StandardInput.h"

#include <QByteArray>
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

bool StandardInput::isTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

// Byte by byte, so nothing after the line is taken from the input; an answer is short, so a
// longer line keeps only its start.
QString StandardInput::readLine() {
    QByteArray line;
    char c = 0;
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, &c, 1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return line.isEmpty() ? QString() : QString::fromLocal8Bit(line);
        if (c == '\n')
            return QString::fromLocal8Bit(line);
        if (line.size() < 1024)
            line += c;
    }
}

} // namespace Platform
