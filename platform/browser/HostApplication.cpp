#include "browser/HostApplication.h"

#include <algorithm>
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
    m_chromium.reset();
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

Outcome<> HostApplication::useChromium(ChromiumEngine::Options options) {
    Outcome<std::unique_ptr<ChromiumEngine>> engine = ChromiumEngine::Start(std::move(options));
    if (!engine) {
        return engine.failure();
    }
    m_chromium = std::move(engine.value());
    return {};
}

std::unique_ptr<HostPage> HostApplication::NewPage(PageFetcher::Options options) const {
    if (m_chromium) {
        return m_chromium->NewPage();
    }
    return std::make_unique<WebPageLoader>(options);
}

HostPage::Result HostApplication::openPage(const URL& pageURL, PageFetcher::Options options) {
    AddPage(NewPage(options));
    return m_pages.back()->load(pageURL);
}

HostPage::Result HostApplication::openPage(std::string_view pageURLText) {
    AddPage(NewPage(m_pageOptions));
    return m_pages.back()->load(pageURLText);
}

void HostApplication::AddPage(std::unique_ptr<HostPage> page) {
    m_pages.push_back(std::move(page));
    // A person browses one page after another: the older ones stop watching (and free their
    // tabs), their lists stay. A capture's pages all run to their end.
    if (m_chromium && m_chromium->options().keepPagesOpen && m_pages.size() > kMostWatchedPages) {
        m_pages[m_pages.size() - kMostWatchedPages - 1]->stop();
    }
}

bool HostApplication::pagesFinished() const {
    return std::all_of(m_pages.begin(), m_pages.end(),
                       [](const auto& page) { return page->finished(); });
}
