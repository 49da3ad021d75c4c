#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "browser/HostPage.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/DevToolsConnection.h"
#include "foundation/Outcome.h"
#include "foundation/RunLoop.h"

class ChromiumPage;

// The page engine that runs the pages' scripts: one Chromium for the run (its start is paid
// once), a tab per page, an observer in every frame that reports plug-in objects as they enter
// the document. Pages load side by side, a few at a time. Main thread only.
class ChromiumEngine {
public:
    struct Options {
        std::string executable; // empty: ChromiumProcess::Find()
        bool headless = true;
        // A page is done once its load event has fired and neither its network nor its
        // plug-in objects have changed for this long.
        std::chrono::milliseconds settle{2000};
        // ... or when this much has passed since it started, whatever it is doing.
        std::chrono::milliseconds pageTimeout{30000};
        // Whether a done page stays open and goes on reporting objects (a window a person looks
        // at) or is closed (a capture).
        bool keepPagesOpen = false;
        // When set, the pages' movies play with the player (Ruffle) in this folder, as they did
        // in a browser with Flash; what is caught does not change.
        std::filesystem::path playerRoot;
    };

    // The function the observer reports through (observer.js knows it by this name).
    static constexpr const char* kReportBinding = "__swfharvexReport";

    // Pages loading at once (before their load event: the browser's busy part); the others wait
    // their turn. Settling is waiting, so pages that have loaded settle side by side, up to
    // kMostOpenPages (each holds a tab, and a tab costs memory).
    static constexpr size_t kMostLoadingPages = 16;
    static constexpr size_t kMostOpenPages = 64;

    // A page whose renderer holds more memory than this (resident, in MiB) is ended and reported
    // lost; what it held by then is kept. A plain page's renderer holds about 120 MiB, one playing
    // movies a few hundred: the bound leaves big pages room and stops a page that allocates
    // without end long before it can take the machine (one drove the browser to 7.2 GB).
    static constexpr uint64_t kMostPageMemoryMiB = 1024;
    // The script heap's own limit, well above the bound above: the renderer passes the bound
    // first, and is ended, unless its memory cannot be watched.
    static constexpr size_t kMostScriptHeapMiB = 2 * kMostPageMemoryMiB;

    static Outcome<std::unique_ptr<ChromiumEngine>> Start(Options options);
    // Closes the browser and waits (briefly) for it to end; kills its group in any case.
    ~ChromiumEngine();
    ChromiumEngine(const ChromiumEngine&) = delete;
    ChromiumEngine& operator=(const ChromiumEngine&) = delete;
    ChromiumEngine(ChromiumEngine&&) = delete;
    ChromiumEngine& operator=(ChromiumEngine&&) = delete;

    // A page of this engine; it must go before the engine does.
    std::unique_ptr<HostPage> NewPage();
    const Options& options() const { return m_options; }
    // "Chromium 156.0.8078.129" as the browser names itself.
    const std::string& product() const { return m_product; }

private:
    friend class ChromiumPage;
    explicit ChromiumEngine(Options options);

    // A browser tab with the observer in place. Tabs go from page to page: making one (a
    // renderer, a session, the set-up) costs more than loading a small page.
    struct Tab {
        std::string targetId;
        std::string sessionId;
        ChromiumPage* page = nullptr;
    };

    // ChromiumPage's side.
    DevToolsConnection& connection() { return *m_connection; }
    void Enqueue(ChromiumPage& page);
    // The page gets a tab through ChromiumPage::UseTab, now or once one is free or made.
    void TakeTab(ChromiumPage& page);
    // A page is done with its tab: it goes to the next page, or is closed when the page may have
    // left it unusable (a page that never settled can hang its renderer).
    void ReturnTab(Tab& tab, bool reusable);
    // Binding, observer, reports and frames in place in a session; `done` gets what failed.
    void SetUpSession(const std::string& sessionId, const std::function<void(Outcome<>)>& done);
    void Attach(const std::string& sessionId, ChromiumPage& page);
    void Detach(const std::string& sessionId);
    void Forget(ChromiumPage& page);

    void MakeTab();
    void GiveTab(Tab& tab);
    void CloseTab(Tab& tab);

    void OnEvent(const std::string& method, const DevToolsConnection::Json& params,
                 const std::string& sessionId);
    // A renderer ended under a target: its page is lost, an idle tab closed.
    void OnTargetCrashed(const std::string& targetId, const std::string& status);
    void StartWaiting();
    void Tick();
    // Ends every renderer past kMostPageMemoryMiB.
    void WatchMemory();

    Options m_options;
    std::string m_product;
    std::unique_ptr<ChromiumProcess> m_process;
    std::unique_ptr<DevToolsConnection> m_connection;
    std::vector<std::unique_ptr<Tab>> m_tabs;
    std::deque<ChromiumPage*> m_tabWaiters;
    std::map<std::string, ChromiumPage*> m_sessions; // frames' own sessions
    std::deque<ChromiumPage*> m_waiting;
    std::vector<ChromiumPage*> m_loading; // open and not finished: loading or settling
    RunLoop::TimerId m_tick = 0;
    RunLoop::TimerId m_memoryWatch = 0;
    // Renderers this engine ended for their memory: then a renderer killed is one of them.
    size_t m_memoryKills = 0;
};
