#include "browser/HostApplication.h"

#include <stdexcept>

#include "appkit/NSApplication.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "browser/HostWindow.h"
#include "foundation/defaults/NSBundle.h"

namespace {

HostApplication* g_current = nullptr;

// The menu bar a browser has before any plug-in adds to it.
Ref<NSMenu> MakeMainMenu() {
    Ref<NSMenu> bar = MakeRef<NSMenu>("Main Menu");
    for (const char* title :
         {"Safari", "File", "Edit", "View", "History", "Bookmarks", "Window", "Help"}) {
        Ref<NSMenuItem> item = NSMenuItem::initWithTitle(title, nullptr, "");
        item->setSubmenu(MakeRef<NSMenu>(title));
        bar->addItem(item);
    }
    return bar;
}

} // namespace

HostApplication::HostApplication(std::string bundleIdentifier)
    : m_bundleIdentifier(std::move(bundleIdentifier)), m_mainWindow(MakeRef<NSWindow>()) {
    if (g_current != nullptr) {
        throw std::logic_error("a host application is already running");
    }
    g_current = this;
    NSApp().setMainWindow(m_mainWindow);
    NSApp().setMainMenu(MakeMainMenu());
    NSBundle::setMainBundle(NSBundle::bundleWithIdentifier(m_bundleIdentifier));
    m_windowController = MakeRef<HostWindowController>(*this);
}

HostApplication::~HostApplication() {
    // The window's controls look at the pages; views go before the window and the identity
    // they may still look at.
    m_windowController = nullptr;
    m_pages.clear();
    if (NSApp().mainWindow() == m_mainWindow.get()) {
        NSApp().setMainWindow(nullptr);
    }
    NSApp().setMainMenu(nullptr);
    NSBundle::setMainBundle(nullptr);
    g_current = nullptr;
}

HostApplication* HostApplication::Current() {
    return g_current;
}

WebPageLoader::Result HostApplication::openPage(const URL& pageURL, PageFetcher::Options options) {
    m_pages.push_back(std::make_unique<WebPageLoader>(options));
    return m_pages.back()->load(pageURL);
}

WebPageLoader::Result HostApplication::openPage(std::string_view pageURLText) {
    m_pages.push_back(std::make_unique<WebPageLoader>());
    return m_pages.back()->load(pageURLText);
}
