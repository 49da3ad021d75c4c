#include "browser/HostApplication.h"

#include <algorithm>
#include <stdexcept>

#include "appkit/NSApplication.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "browser/HostWindow.h"
#include "browser/PageEngines.h"
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
    : m_bundleIdentifier(std::move(bundleIdentifier)), m_mainWindow(MakeRef<NSWindow>()),
      m_engine(page_engines::Static()) {
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
    m_engine.reset();
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

void HostApplication::setPageEngine(std::unique_ptr<PageEngine> engine) {
    if (!m_pages.empty()) {
        throw std::logic_error("the page engine changes only before the first page opens");
    }
    m_engine = std::move(engine);
}

HostPage& HostApplication::openPage(const URL& pageURL) {
    HostPage& page = AddPage(m_engine->NewPage());
    // What it answers is in the page's result once it has finished.
    [[maybe_unused]] const Outcome<HostPage::Loaded> started = page.load(pageURL);
    return page;
}

HostPage& HostApplication::openPage(std::string_view pageURLText) {
    HostPage& page = AddPage(m_engine->NewPage());
    [[maybe_unused]] const Outcome<HostPage::Loaded> started = page.load(pageURLText);
    return page;
}

HostPage& HostApplication::AddPage(std::unique_ptr<HostPage> page) {
    m_pages.push_back(std::move(page));
    HostPage& added = *m_pages.back();
    // A person browses one page after another: the older ones stop watching (and free their
    // tabs), their lists stay. A capture's pages all run to their end.
    if (m_engine->watchesDonePages() && m_pages.size() > kMostWatchedPages) {
        m_pages[m_pages.size() - kMostWatchedPages - 1]->stop();
    }
    return added;
}

bool HostApplication::pagesFinished() const {
    return std::all_of(m_pages.begin(), m_pages.end(),
                       [](const auto& page) { return page->finished(); });
}
