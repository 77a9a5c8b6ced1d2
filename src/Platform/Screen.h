#pragma once

#include <QSize>
#include <functional>

namespace Platform {

// The main screen's size in points. The core library knows no screens: the application's
// start installs a Screen that asks the GUI, with ScopedReplacement; without one (or without a
// screen) the size is 0x0.
class Screen {
public:
    // `size` is asked on every query, from any thread; an empty one answers 0x0.
    explicit Screen(std::function<QSize()> size = {}) : m_size(std::move(size)) {}

    [[nodiscard]] static QSize mainScreenSize();

private:
    std::function<QSize()> m_size;
};

} // namespace Platform
