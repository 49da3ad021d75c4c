#pragma once

#include <functional>
#include <string>

#include "browser/chromium/ChromiumOptions.h"
#include "browser/chromium/DevToolsConnection.h"
#include "foundation/Outcome.h"

class ChromiumPage;

// A browser tab with the observer in place. Tabs go from page to page: making one (a renderer, a
// session, the set-up) costs more than loading a small page.
struct ChromiumTab {
    std::string targetId;
    std::string sessionId;
    ChromiumPage* page = nullptr;
};

// What a page asks of the engine that runs it: the browser's connection, a turn, a tab and the
// set-up of its frames' sessions. The engine makes the pages; the pages know only this.
class ChromiumTabs {
public:
    // The function the observer reports through (observer.js knows it by this name).
    static constexpr const char* kReportBinding = "__swfharvexReport";
    // What nobody sees or hears in a capture, refused before it is fetched (with
    // ChromiumOptions::fetchForCaptureOnly): images, fonts, media, beacons and reports
    // (the types Fetch.enable knows). Scripts, style sheets, documents and the scripts' own
    // requests are fetched: they decide what the page inserts and where.
    static constexpr const char* kUnneededResources[] = {"Image", "Font", "Media", "Ping",
                                                         "CSPViolationReport"};

    virtual DevToolsConnection& connection() = 0;
    virtual const ChromiumOptions& options() const = 0;
    // The page waits for its turn; it opens (ChromiumPage::Open) when it comes.
    virtual void Enqueue(ChromiumPage& page) = 0;
    // The page gets a tab through ChromiumPage::UseTab, now or once one is free or made.
    virtual void TakeTab(ChromiumPage& page) = 0;
    // A page is done with its tab: it goes to the next page, or is closed when the page may have
    // left it unusable (a page that never settled can hang its renderer).
    virtual void ReturnTab(ChromiumTab& tab, bool reusable) = 0;
    // Binding, observer, reports and frames in place in a session; `done` gets what failed.
    virtual void SetUpSession(const std::string& sessionId,
                              const std::function<void(Outcome<>)>& done) = 0;
    // A page has loaded (it no longer counts among the pages loading at once) or finished: the
    // next ones may start.
    virtual void Progressed() = 0;
    // The page is going or loads anew: nothing of the engine's points at it any more.
    virtual void Forget(ChromiumPage& page) = 0;

protected:
    ChromiumTabs() = default;
    ~ChromiumTabs() = default;
    ChromiumTabs(const ChromiumTabs&) = default;
    ChromiumTabs& operator=(const ChromiumTabs&) = default;
    ChromiumTabs(ChromiumTabs&&) = default;
    ChromiumTabs& operator=(ChromiumTabs&&) = default;
};
