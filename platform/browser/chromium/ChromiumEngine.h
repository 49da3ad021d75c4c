#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/PageEngine.h"
#include "browser/chromium/ChromiumMoviePlayer.h"
#include "browser/chromium/ChromiumOptions.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/ChromiumTabs.h"
#include "browser/chromium/DevToolsConnection.h"
#include "foundation/Outcome.h"
#include "foundation/RunLoop.h"

// The page engine that runs the pages' scripts: one Chromium for the run (its start is paid
// once), a tab per page, an observer in every frame that reports plug-in objects as they enter
// the document. Pages load side by side, a few at a time. Main thread only.
class ChromiumEngine final : public PageEngine, private ChromiumTabs {
public:
    using Options = ChromiumOptions;

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
    // Over a DevTools pipe already open (a browser started elsewhere, or a test's socket); the
    // descriptors stay the caller's and must outlive the engine. No memory is watched.
    static Outcome<std::unique_ptr<ChromiumEngine>> Connect(Options options, int commandFd,
                                                            int replyFd);
    // Kills the browser's whole group (one connected to a pipe is asked to close).
    ~ChromiumEngine() override;
    ChromiumEngine(const ChromiumEngine&) = delete;
    ChromiumEngine& operator=(const ChromiumEngine&) = delete;
    ChromiumEngine(ChromiumEngine&&) = delete;
    ChromiumEngine& operator=(ChromiumEngine&&) = delete;

    std::unique_ptr<HostPage> NewPage() override;
    std::string description() const override;
    bool watchesDonePages() const override { return m_options.keepPagesOpen; }
    bool playsMovies() const override { return true; }
    void PlayMovie(MoviePlayback playback) override;
    const Options& options() const override { return m_options; }
    // "Chromium 156.0.8078.129" as the browser names itself.
    const std::string& product() const { return m_product; }

private:
    explicit ChromiumEngine(Options options);
    Outcome<> Begin(int commandFd, int replyFd);

    // ChromiumTabs: the pages' side.
    DevToolsConnection& connection() override { return *m_connection; }
    void Enqueue(ChromiumPage& page) override;
    void TakeTab(ChromiumPage& page) override;
    void ReturnTab(ChromiumTab& tab, bool reusable) override;
    void SetUpSession(const std::string& sessionId,
                      const std::function<void(Outcome<>)>& done) override;
    void Progressed() override;
    void Forget(ChromiumPage& page) override;

    // Fetch.enable's patterns: the player's files, answered from its folder, and what a capture
    // refuses to fetch (ChromiumTabs::kUnneededResources).
    DevToolsConnection::Json PausedRequests() const;
    void MakeTab();
    void GiveTab(ChromiumTab& tab);
    void CloseTab(ChromiumTab& tab);
    // A tab between pages: what its document still starts runs unobserved.
    void Idle(ChromiumTab& tab);

    // A renderer ended under a target: its page is lost, an idle tab closed.
    void OnTargetCrashed(const std::string& targetId, const std::string& status);
    // The browser has gone (`why`): every page still open fails, naming why.
    void OnClosed(const std::string& why);
    void StartWaiting();
    // Ends every renderer past kMostPageMemoryMiB.
    void WatchMemory();

    Options m_options;
    std::string m_product;
    std::unique_ptr<ChromiumProcess> m_process; // null when connected to a pipe
    std::unique_ptr<DevToolsConnection> m_connection;
    std::unique_ptr<ChromiumMoviePlayer> m_player; // made with the connection, gone before it
    std::vector<std::unique_ptr<ChromiumTab>> m_tabs;
    std::deque<ChromiumPage*> m_tabWaiters;
    std::deque<ChromiumPage*> m_waiting;
    std::vector<ChromiumPage*> m_loading; // open and not finished: loading or settling
    bool m_starting = false;              // within StartWaiting
    std::string m_lost;                   // why the browser has gone, once it has
    RunLoop::TimerId m_memoryWatch = 0;
    // Renderers this engine ended for their memory: then a renderer killed is one of them.
    size_t m_memoryKills = 0;
};
