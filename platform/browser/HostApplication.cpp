#include "browser/HostApplication.h"

#include <stdexcept>

#include "appkit/NSApplication.h"

namespace {

HostApplication* g_current = nullptr;

} // namespace

HostApplication::HostApplication(std::string bundleIdentifier)
    : m_bundleIdentifier(std::move(bundleIdentifier)), m_mainWindow(MakeRef<NSWindow>()) {
    if (g_current != nullptr) {
        throw std::logic_error("a host application is already running");
    }
    g_current = this;
    NSApp().setMainWindow(m_mainWindow);
}

HostApplication::~HostApplication() {
    // Views go before the window and the identity they may still look at.
    m_pages.clear();
    if (NSApp().mainWindow() == m_mainWindow.get()) {
        NSApp().setMainWindow(nullptr);
    }
    g_current = nullptr;
}

HostApplication* HostApplication::Current() {
    return g_current;
}

WebPageLoader::Result HostApplication::openPage(const URL& pageURL, PageFetcher::Options options) {
    m_pages.push_back(std::make_unique<WebPageLoader>(options));
    return m_pages.back()->load(pageURL);
}
