#pragma once

#include <QSize>
#include <functional>

namespace Platform {

// The main screen's size in points. The core library knows no screens: the application's
// start installs a provider that asks the GUI; without one (or without a screen) it is 0x0.
class Screen {
public:
    [[nodiscard]] static QSize mainScreenSize();
    static void setProvider(std::function<QSize()> provider);
};

} // namespace Platform
