#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "browser/HostPage.h"
#include "browser/chromium/ChromiumTabs.h"
#include "browser/chromium/DevToolsConnection.h"
#include "foundation/RunLoop.h"

// A page in a tab of the engine's browser. Its main frame and each frame the browser runs apart
// (cross-site frames) have a session; in each, the observer runs before the page's own scripts,
// and the page's plug-in objects come in as the observer reports them.
class ChromiumPage : public HostPage {
public:
    // How far the page has come. A page leaves Queued when the engine gives it a turn, Opening
    // when it has a tab and navigates, and Loading at its first load event; a later document of
    // the page (a script's navigation) takes it from Settling to Reloading until its own load
    // event.
    enum class Phase { Idle, Queued, Opening, Loading, Settling, Reloading, Done };

    explicit ChromiumPage(ChromiumTabs& engine) : m_engine(engine) {}
    ~ChromiumPage() override;
    ChromiumPage(const ChromiumPage&) = delete;
    ChromiumPage& operator=(const ChromiumPage&) = delete;
    ChromiumPage(ChromiumPage&&) = delete;
    ChromiumPage& operator=(ChromiumPage&&) = delete;

    using HostPage::load;
    // Queues the page for a tab; it finishes later (see finished()).
    Outcome<Loaded> load(const URL& pageURL) override;
    void stop() override;

    Phase phase() const { return m_phase; }
    // Before its first load event: the part of a page that keeps the browser busy.
    bool loading() const { return m_phase == Phase::Opening || m_phase == Phase::Loading; }

    // The engine's side.
    void Open();
    void UseTab(ChromiumTab& tab);
    void Fail(const std::string& reason);
    // Whether the target is this page's main frame or one of its frames.
    bool Holds(const std::string& targetId) const;
    // A renderer of the page has ended (`reason`): the page is lost, what it held is kept.
    void Crashed(const std::string& reason);

private:
    using Json = DevToolsConnection::Json;
    using Event = void (ChromiumPage::*)(const Json& params, const std::string& sessionId);

    // The page's handlers, by method, in the session of its main frame or of one of its frames.
    void Listen(const std::string& sessionId);
    void OnContextCreated(const Json& params, const std::string& sessionId);
    void OnContextDestroyed(const Json& params, const std::string& sessionId);
    void OnContextsCleared(const Json& params, const std::string& sessionId);
    void OnBindingCalled(const Json& params, const std::string& sessionId);
    void OnRequestSent(const Json& params, const std::string& sessionId);
    void OnRequestEnded(const Json& params, const std::string& sessionId);
    void OnResponse(const Json& params, const std::string& sessionId);
    void OnFrameNavigated(const Json& params, const std::string& sessionId);
    void OnLoadEvent(const Json& params, const std::string& sessionId);
    void OnRequestPaused(const Json& params, const std::string& sessionId);
    void OnDialog(const Json& params, const std::string& sessionId);
    void OnAttached(const Json& params, const std::string& sessionId);
    void OnDetached(const Json& params, const std::string& sessionId);
    static const std::pair<const char*, Event> kEvents[];

    void Navigate();
    void Report(const std::string& payload, const std::string& sessionId, int contextId);
    // False once the page holds as many objects as it may: the rest are not looked at.
    bool AddReported(const Json& report, const std::string& sessionId);
    // The page is a movie, shown as a browser shows one: a single full-page object.
    void ShowMovie(const std::string& urlText, const std::string& type);
    // Something changed: the page is done after a short grace once every frame is quiet, else
    // only `settle` from now.
    void Touch();
    void Settled();
    void TimedOut();
    // With ChromiumOptions::readLinks, the page's links as its scripts left them, then End.
    void ReadLinksThenEnd(Outcome<Loaded> result, bool settled);
    void CancelTimers();
    // `settled`: the page came to rest, so its tab can serve the next page.
    void End(Outcome<Loaded> result, bool settled = false);
    void Close(bool reusable = false);

    ChromiumTabs& m_engine;
    Phase m_phase = Phase::Idle;
    ChromiumTab* m_tab = nullptr;
    std::optional<URL> m_url;
    std::string m_targetId;
    std::string m_mainSession;
    std::set<std::string> m_sessions;     // the frames' own sessions
    std::set<std::string> m_frameTargets; // the frames that run apart, by target id
    // Requests in flight, by id: a frame's document request starts in its parent's session and
    // ends in the frame's own.
    std::set<std::string> m_requests;
    // The script contexts (by session and id) made since this load navigated.
    std::set<std::pair<std::string, int>> m_contexts;
    // Those whose document still has work due (see observer.js).
    std::set<std::pair<std::string, int>> m_busy;
    std::string m_httpError;
    bool m_readingLinks = false;
    // The page's time limit, and its quiet time once it has loaded and nothing is in flight.
    RunLoop::TimerId m_deadline = 0;
    RunLoop::TimerId m_idle = 0;
    // Alive as long as the current load; replies to an earlier one find it gone.
    std::shared_ptr<int> m_load;
};
