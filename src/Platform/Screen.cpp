#include "Platform/Screen.h"

#include "Platform/SharedInstance.h"

namespace Platform {

QSize Screen::mainScreenSize() {
    const std::shared_ptr<Screen> screen = SharedInstance<Screen>::pointer();
    return screen->m_size ? screen->m_size() : QSize(0, 0);
}

} // namespace Platform
