#pragma once

#include <memory>
#include <string>
#include <vector>

#include "appkit/NSWindow.h"
#include "browser/PageFetcher.h"
#include "browser/chromium/ChromiumEngine.h"
#include "browser/static/WebPageLoader.h"
#include "foundation/Outcome.h"

// The host browser process's identity: its bundle identifier, its main window (installed as the
// application's, so that sheets have somewhere to go) and the pages it has open. One at a time;
// the live one is HostApplication::Current(). Main thread only.
class HostWindowController;

class HostApplication {
public:
    static constexpr const char* kDefaultBundleIdentifier = "com.apple.Safari";

    // Throws std::logic_error while another host is alive.
    explicit HostApplication(std::string bundleIdentifier = kDefaultBundleIdentifier);
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;
    HostApplication(HostApplication&&) = delete;
    HostApplication& operator=(HostApplication&&) = delete;

    // Null when no host is alive.
    static HostApplication* Current();

    const std::string& bundleIdentifier() const { return m_bundleIdentifier; }
    NSWindow* mainWindow() const { return m_mainWindow.get(); }
    // The controls of the main window: the address field, the pages' report, the transfers.
    HostWindowController* windowController() const { return m_windowController.get(); }

    // Pages opened from now on run their scripts in Chromium. On failure (no browser, or it
    // would not start) the host keeps reading pages without scripts.
    Outcome<> useChromium(ChromiumEngine::Options options);
    // Null while pages are read without scripts.
    ChromiumEngine* chromium() const { return m_chromium.get(); }

    // Opens a page in a new frame that the host keeps, with its plug-in views, while it lives.
    // With Chromium the page goes on loading after this returns (HostPage::finished()).
    HostPage::Result openPage(const URL& pageURL,
                              PageFetcher::Options options = PageFetcher::Options());
    // The same for an address as typed, with the options set below; one that does not parse is
    // refused, naming it.
    HostPage::Result openPage(std::string_view pageURLText);
    // How pages opened by address are fetched when read without scripts (their time limit).
    void setPageOptions(PageFetcher::Options options) { m_pageOptions = options; }
    const std::vector<std::unique_ptr<HostPage>>& pages() const { return m_pages; }
    // Whether every page opened so far has finished loading.
    bool pagesFinished() const;

    // Pages that go on watching for objects their scripts insert; older ones are stopped.
    static constexpr size_t kMostWatchedPages = 8;

private:
    std::unique_ptr<HostPage> NewPage(PageFetcher::Options options) const;
    void AddPage(std::unique_ptr<HostPage> page);

    std::string m_bundleIdentifier;
    PageFetcher::Options m_pageOptions;
    Ref<NSWindow> m_mainWindow;
    std::unique_ptr<ChromiumEngine> m_chromium; // outlives the pages
    std::vector<std::unique_ptr<HostPage>> m_pages;
    Ref<HostWindowController> m_windowController;
};
