#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "browser/HostPage.h"
#include "browser/chromium/ChromiumEngine.h"
#include "browser/chromium/DevToolsConnection.h"

// A page in a tab of the engine's browser. Its main frame and each frame the browser runs apart
// (cross-site frames) have a session; in each, the observer runs before the page's own scripts,
// and the page's plug-in objects come in as the observer reports them.
class ChromiumPage : public HostPage {
public:
    explicit ChromiumPage(ChromiumEngine& engine) : m_engine(engine) {}
    ~ChromiumPage() override;
    ChromiumPage(const ChromiumPage&) = delete;
    ChromiumPage& operator=(const ChromiumPage&) = delete;
    ChromiumPage(ChromiumPage&&) = delete;
    ChromiumPage& operator=(ChromiumPage&&) = delete;

    using HostPage::load;
    // Queues the page for a tab; it finishes later (see finished()).
    Result load(const URL& pageURL) override;
    void stop() override;

private:
    friend class ChromiumEngine;
    using Json = DevToolsConnection::Json;
    using Clock = std::chrono::steady_clock;

    // The engine's side.
    void Open();
    void OnEvent(const std::string& method, const Json& params, const std::string& sessionId);
    // Ends the page when it is done or past its limit.
    void Check(Clock::time_point now);
    void Fail(const std::string& reason);
    // Whether the target is this page's main frame or one of its frames.
    bool Holds(const std::string& targetId) const;
    // A renderer of the page has ended (`reason`): the page is lost, what it held is kept.
    void Crashed(const std::string& reason);

    void UseTab(ChromiumEngine::Tab& tab);
    void Navigate();
    void Report(const std::string& payload, const std::string& sessionId);
    // The page is a movie, shown as a browser shows one: a single full-page object.
    void ShowMovie(const std::string& urlText, const std::string& type);
    // `settled`: the page came to rest, so its tab can serve the next page.
    void End(Result result, bool settled = false);
    void Close(bool reusable = false);

    ChromiumEngine& m_engine;
    ChromiumEngine::Tab* m_tab = nullptr;
    std::optional<URL> m_url;
    std::string m_targetId;
    std::string m_mainSession;
    std::set<std::string> m_sessions;
    std::set<std::string> m_frameTargets; // the frames that run apart, by target id
    // Requests in flight, by id: a frame's document request starts in its parent's session and
    // ends in the frame's own.
    std::set<std::string> m_requests;
    // The script contexts (by session and id) made since this load navigated.
    std::set<std::pair<std::string, int>> m_contexts;
    bool m_navigated = false;
    bool m_loadFired = false;  // the current document's
    bool m_everLoaded = false; // any document's since the navigation began
    bool m_open = false;
    Clock::time_point m_started;
    Clock::time_point m_lastChange;
    std::string m_httpError;
    // Alive as long as the current load; replies to an earlier one find it gone.
    std::shared_ptr<int> m_load;
};
