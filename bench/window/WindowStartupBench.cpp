// tq_window_startup_bench PROGRAM [RUNS]
// Starts PROGRAM RUNS times (default 10) on the X display in $DISPLAY and measures, for each
// run, the time from the process start to the mapping of its first top-level window. Prints
// each run and the median in milliseconds. Meant for a display without a window manager
// (Xvfb), where top-level windows are mapped straight on the root window.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A window a user would call the program's window: not a tooltip or popup, and not tiny.
bool isMainWindow(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return false;
    return !attributes.override_redirect && attributes.width >= 100 && attributes.height >= 100;
}

// Waits until a main window is mapped on the root window; false after `seconds` without one.
bool waitForMap(Display* display, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && isMainWindow(display, event.xmap.window))
                return true;
        }
        fd_set descriptors;
        FD_ZERO(&descriptors);
        FD_SET(ConnectionNumber(display), &descriptors);
        timeval wait{0, 2000};
        select(ConnectionNumber(display) + 1, &descriptors, nullptr, nullptr, &wait);
    }
    return false;
}

void stop(pid_t child) {
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display (set DISPLAY)\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);

    std::vector<double> times;
    for (int run = 1; run <= runs; ++run) {
        const auto start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            execl(argv[1], argv[1], static_cast<char*>(nullptr));
            _exit(127);
        }
        const bool shown = waitForMap(display, 30.0);
        const double milliseconds =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        stop(child);
        XSync(display, True); // drops the unmap and destroy notices of this run
        if (!shown) {
            std::fprintf(stderr, "run %d: no window within 30 s\n", run);
            return 1;
        }
        std::printf("run %d: %.1f ms\n", run, milliseconds);
        times.push_back(milliseconds);
    }
    XCloseDisplay(display);
    std::sort(times.begin(), times.end());
    const std::size_t middle = times.size() / 2;
    const double median =
        times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2.0;
    std::printf("startup_ms_median: %.1f (runs: %zu, min %.1f, max %.1f)\n", median, times.size(),
                times.front(), times.back());
    return 0;
}
