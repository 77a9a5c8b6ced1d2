#include "Platform/Screen.h"

#include <mutex>

namespace Platform {

namespace {

std::mutex& providerMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<QSize()>& provider() {
    static std::function<QSize()> current;
    return current;
}

} // namespace

QSize Screen::mainScreenSize() {
    std::lock_guard lock(providerMutex());
    return provider() ? provider()() : QSize(0, 0);
}

void Screen::setProvider(std::function<QSize()> newProvider) {
    std::lock_guard lock(providerMutex());
    provider() = std::move(newProvider);
}

} // namespace Platform
