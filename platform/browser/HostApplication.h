#pragma once

#include <memory>
#include <string>
#include <vector>

#include "appkit/NSWindow.h"
#include "browser/HostPage.h"
#include "browser/PageEngine.h"

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

    // Pages are read by `engine` (it lives until the host goes); until one is set, without
    // scripts. Only before the first page opens (throws std::logic_error after): pages go before
    // their engine.
    void setPageEngine(std::unique_ptr<PageEngine> engine);
    const PageEngine& pageEngine() const { return *m_engine; }
    PageEngine& pageEngine() { return *m_engine; }

    // Opens a page in a new frame that the host keeps, with its plug-in views, while it lives,
    // and answers it. An engine that runs scripts goes on loading the page after this returns:
    // its result() is there once it has finished().
    HostPage& openPage(const URL& pageURL);
    // The same for an address as typed; one that does not parse fails, naming it.
    HostPage& openPage(std::string_view pageURLText);
    const std::vector<std::unique_ptr<HostPage>>& pages() const { return m_pages; }
    // Whether every page opened so far has finished loading.
    bool pagesFinished() const;

    // Pages that go on watching for objects their scripts insert; older ones are stopped.
    static constexpr size_t kMostWatchedPages = 8;

private:
    HostPage& AddPage(std::unique_ptr<HostPage> page);

    std::string m_bundleIdentifier;
    Ref<NSWindow> m_mainWindow;
    std::unique_ptr<PageEngine> m_engine; // outlives the pages
    std::vector<std::unique_ptr<HostPage>> m_pages;
    Ref<HostWindowController> m_windowController;
};
