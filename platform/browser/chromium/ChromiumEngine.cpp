#include "browser/chromium/ChromiumEngine.h"

#include <algorithm>
#include <optional>

#include "browser/chromium/ChromiumPage.h"
#include "browser/chromium/PlayerFiles.h"
#include "browser/chromium/ProcessTable.h"
#include "browser/chromium/ResponseRecording.h"
#include "foundation/Log.h"

extern const char* const kChromiumObserverScript; // observer.js, built in
extern const char* const kChromiumPlayerScript;   // player.js, built in

namespace {

// Tabs beyond the pages loading at once: some are on their way back to about:blank.
constexpr size_t kSpareTabs = 4;
constexpr auto kStartTimeout = std::chrono::seconds(20);
// A page allocating as fast as it can gains a few hundred MiB between two looks.
constexpr auto kMemoryWatchInterval = std::chrono::milliseconds(200);

} // namespace

ChromiumEngine::ChromiumEngine(Options options) : m_options(std::move(options)) {
}

Outcome<std::unique_ptr<ChromiumEngine>> ChromiumEngine::Start(Options options) {
    std::unique_ptr<ChromiumEngine> engine(new ChromiumEngine(std::move(options)));
    Outcome<std::unique_ptr<ChromiumProcess>> process =
        ChromiumProcess::Start({engine->m_options.executable, engine->m_options.headless,
                                !engine->m_options.playerRoot.empty(), kMostScriptHeapMiB});
    if (!process) {
        return process.failure();
    }
    engine->m_process = std::move(process.value());
    if (Outcome<> begun =
            engine->Begin(engine->m_process->commandFd(), engine->m_process->replyFd());
        !begun) {
        return begun.failure();
    }
    // The first page's tab is made while the caller gets ready: a tab costs as much as a page.
    engine->MakeTab();
    engine->m_memoryWatch = RunLoop::Main().AddTimer(kMemoryWatchInterval, true,
                                                     [raw = engine.get()] { raw->WatchMemory(); });
    return engine;
}

Outcome<std::unique_ptr<ChromiumEngine>> ChromiumEngine::Connect(Options options, int commandFd,
                                                                 int replyFd) {
    std::unique_ptr<ChromiumEngine> engine(new ChromiumEngine(std::move(options)));
    if (Outcome<> begun = engine->Begin(commandFd, replyFd); !begun) {
        return begun.failure();
    }
    return engine;
}

Outcome<> ChromiumEngine::Begin(int commandFd, int replyFd) {
    using Json = DevToolsConnection::Json;
    m_connection = std::make_unique<DevToolsConnection>(commandFd, replyFd);
    m_player = std::make_unique<ChromiumMoviePlayer>(*m_connection);
    m_connection->OnClosed([this](const std::string& why) { OnClosed(why); });
    m_connection->On({}, "Target.targetCrashed", [this](const Json& params) {
        OnTargetCrashed(params.value("targetId", ""), params.value("status", ""));
    });
    Outcome<Json> version =
        m_connection->Call("Browser.getVersion", Json::object(), {}, kStartTimeout);
    if (!version) {
        const std::string log = m_process ? m_process->LogTail() : std::string();
        return Failure{"Chromium did not start",
                       version.failure().message() + (log.empty() ? "" : " (" + log + ")")};
    }
    // "HeadlessChrome/156.0.8078.129" names the protocol's product; people know it as Chromium.
    const std::string product = version.value().value("product", "");
    m_product = "Chromium " + product.substr(product.find('/') + 1);
    // The browser runs without either, less safely or less watched: the log says so.
    const auto logRefusal = [](const Outcome<Json>& reply) {
        if (!reply) {
            NSLog("swfharvex: " + reply.failure().message());
        }
    };
    // A movie's address opened as a document must not become a file in some folder.
    m_connection->Send("Browser.setDownloadBehavior", {{"behavior", "deny"}}, {}, logRefusal);
    // For Target.targetCrashed, which says which target's renderer ended, and how.
    m_connection->Send("Target.setDiscoverTargets",
                       {{"discover", true}, {"filter", {{{"type", "page"}}, {{"type", "iframe"}}}}},
                       {}, logRefusal);
    return {};
}

ChromiumEngine::~ChromiumEngine() {
    if (m_memoryWatch != 0) {
        RunLoop::Main().CancelTimer(m_memoryWatch);
    }
    // A browser of our own goes with its profile, so nothing of a clean close would be kept:
    // waiting for one cost a tenth of a second of every capture.
    if (m_process) {
        m_process->Stop(std::chrono::milliseconds(0));
    } else if (m_connection && m_connection->connected()) {
        m_connection->Send("Browser.close", DevToolsConnection::Json::object());
    }
    m_player.reset();
    m_connection.reset();
}

std::unique_ptr<HostPage> ChromiumEngine::NewPage() {
    ChromiumTabs& tabs = *this; // the pages see the engine through its pages' side alone
    return std::make_unique<ChromiumPage>(tabs);
}

void ChromiumEngine::PlayMovie(MoviePlayback playback) {
    m_player->Play(std::move(playback));
}

std::string ChromiumEngine::description() const {
    return "chromium (" + m_product + "; the pages' scripts run)";
}

void ChromiumEngine::Enqueue(ChromiumPage& page) {
    m_waiting.push_back(&page);
    StartWaiting();
}

void ChromiumEngine::StartWaiting() {
    // A page that fails as it opens comes back here through Progressed; the loop below goes on.
    if (m_starting) {
        return;
    }
    m_starting = true;
    // Pages before their load event, once those that have finished have left the list.
    const auto loading = [this] {
        std::erase_if(m_loading, [](const ChromiumPage* page) {
            return page->phase() == ChromiumPage::Phase::Done;
        });
        return static_cast<size_t>(
            std::count_if(m_loading.begin(), m_loading.end(),
                          [](const ChromiumPage* page) { return page->loading(); }));
    };
    while (!m_waiting.empty() && loading() < kMostLoadingPages &&
           m_loading.size() < kMostOpenPages) {
        ChromiumPage* page = m_waiting.front();
        m_waiting.pop_front();
        if (!m_connection->connected()) {
            page->Fail(m_lost.empty() ? std::string("the browser has gone") : m_lost);
            continue;
        }
        m_loading.push_back(page);
        page->Open();
    }
    m_starting = false;
}

void ChromiumEngine::SetUpSession(const std::string& sessionId,
                                  const std::function<void(Outcome<>)>& done) {
    // The frame may go on only once every part of the set-up has been answered: a navigation
    // that starts earlier can move to another renderer before the observer reached the first.
    using Json = DevToolsConnection::Json;
    // The observer waits for timers due within the settle time: later ones it could not wait for.
    const std::string observer = std::string(kChromiumObserverScript) + "(" +
                                 std::to_string(m_options.settle.count()) + ");";
    std::vector<std::pair<std::string, Json>> setUp = {
        {"Runtime.addBinding", {{"name", kReportBinding}}},
        {"Page.enable", Json::object()},
        // Without it, bindings called early in a document are not always reported.
        {"Runtime.enable", Json::object()},
        {"Network.enable", {{"maxTotalBufferSize", 0}, {"maxResourceBufferSize", 0}}},
        {"Page.addScriptToEvaluateOnNewDocument", {{"source", observer}, {"runImmediately", true}}},
        {"Target.setAutoAttach",
         {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}}},
    };
    if (Json patterns = PausedRequests(); !patterns.empty()) {
        setUp.emplace_back("Fetch.enable", Json{{"patterns", std::move(patterns)}});
    }
    if (!m_options.playerRoot.empty()) {
        setUp.emplace_back("Page.addScriptToEvaluateOnNewDocument",
                           Json{{"source", kChromiumPlayerScript}});
    }
    struct Progress {
        size_t left;
        std::optional<Failure> failure;
    };
    auto progress = std::make_shared<Progress>(Progress{setUp.size(), std::nullopt});
    for (auto& [method, params] : setUp) {
        m_connection->Send(
            method, std::move(params), sessionId, [progress, done](const Outcome<Json>& reply) {
                if (!reply && !progress->failure) {
                    progress->failure = reply.failure();
                }
                if (--progress->left == 0) {
                    done(progress->failure ? Outcome<>(*progress->failure) : Outcome<>());
                }
            });
    }
}

DevToolsConnection::Json ChromiumEngine::PausedRequests() const {
    using Json = DevToolsConnection::Json;
    Json patterns = Json::array();
    if (!m_options.playerRoot.empty()) {
        patterns.push_back({{"urlPattern", player_files::kPattern}});
    }
    if (m_options.fetchForCaptureOnly) {
        for (const char* type : kUnneededResources) {
            patterns.push_back({{"urlPattern", "*"}, {"resourceType", type}});
        }
    }
    if (WireRecorder::Current()) {
        patterns.push_back(response_recording::Pattern());
    }
    return patterns;
}

void ChromiumEngine::TakeTab(ChromiumPage& page) {
    for (const auto& tab : m_tabs) {
        if (tab->page == nullptr && !tab->sessionId.empty()) {
            tab->page = &page;
            page.UseTab(*tab);
            return;
        }
    }
    m_tabWaiters.push_back(&page);
    if (m_tabs.size() < kMostOpenPages + kSpareTabs) {
        MakeTab();
    }
}

void ChromiumEngine::MakeTab() {
    using Json = DevToolsConnection::Json;
    m_tabs.push_back(std::make_unique<ChromiumTab>());
    ChromiumTab* tab = m_tabs.back().get();
    // A tab that cannot be made fails the page that waits longest, naming why.
    auto fail = [this, tab](const Failure& failure) {
        std::erase_if(m_tabs, [tab](const auto& made) { return made.get() == tab; });
        if (!m_tabWaiters.empty()) {
            ChromiumPage* page = m_tabWaiters.front();
            m_tabWaiters.pop_front();
            page->Fail(failure.message());
        }
    };
    m_connection->Send(
        "Target.createTarget", {{"url", "about:blank"}}, {},
        [this, tab, fail](Outcome<Json> created) {
            if (!created) {
                fail(created.failure());
                return;
            }
            tab->targetId = created.value().value("targetId", "");
            m_connection->Send(
                "Target.attachToTarget", {{"targetId", tab->targetId}, {"flatten", true}}, {},
                [this, tab, fail](Outcome<Json> attached) {
                    if (!attached) {
                        fail(attached.failure());
                        return;
                    }
                    const std::string session = attached.value().value("sessionId", "");
                    SetUpSession(session, [this, tab, session, fail](const Outcome<>& ready) {
                        if (!ready) {
                            fail(ready.failure());
                            return;
                        }
                        tab->sessionId = session;
                        Idle(*tab);
                        GiveTab(*tab);
                    });
                });
        });
}

void ChromiumEngine::GiveTab(ChromiumTab& tab) {
    if (m_tabWaiters.empty()) {
        return;
    }
    ChromiumPage* page = m_tabWaiters.front();
    m_tabWaiters.pop_front();
    tab.page = page;
    page->UseTab(tab);
}

void ChromiumEngine::ReturnTab(ChromiumTab& tab, bool reusable) {
    tab.page = nullptr;
    if (!reusable || !m_connection->connected()) {
        CloseTab(tab);
        return;
    }
    Idle(tab);
    // The next page navigates the tab straight away (a navigation costs the browser about as
    // much as a small page); what the old document still says is told apart by its contexts.
    GiveTab(tab);
}

void ChromiumEngine::Idle(ChromiumTab& tab) {
    const std::string session = tab.sessionId;
    m_connection->Forget(session);
    m_connection->On(
        session, "Target.attachedToTarget", [this](const DevToolsConnection::Json& params) {
            // A frame of the page that left: let it go unobserved.
            m_connection->Send("Runtime.runIfWaitingForDebugger",
                               DevToolsConnection::Json::object(), params.value("sessionId", ""));
        });
}

void ChromiumEngine::CloseTab(ChromiumTab& tab) {
    m_connection->Forget(tab.sessionId);
    if (m_connection->connected() && !tab.targetId.empty()) {
        m_connection->Send("Target.closeTarget", {{"targetId", tab.targetId}});
    }
    ChromiumTab* gone = &tab;
    std::erase_if(m_tabs, [gone](const auto& made) { return made.get() == gone; });
    // Pages waiting for a tab get a new one.
    if (!m_tabWaiters.empty() && m_tabs.size() < kMostOpenPages + kSpareTabs) {
        MakeTab();
    }
}

void ChromiumEngine::Forget(ChromiumPage& page) {
    std::erase(m_waiting, &page);
    std::erase(m_tabWaiters, &page);
    if (std::erase(m_loading, &page) > 0) {
        StartWaiting();
    }
}

void ChromiumEngine::Progressed() {
    StartWaiting();
}

void ChromiumEngine::WatchMemory() {
    if (!m_process) {
        return;
    }
    for (const pid_t renderer : m_process->Renderers()) {
        const std::optional<uint64_t> resident = process_table::ResidentBytes(renderer);
        if (resident && *resident > (kMostPageMemoryMiB << 20U) &&
            m_process->EndRenderer(renderer)) {
            ++m_memoryKills;
        }
    }
}

void ChromiumEngine::OnTargetCrashed(const std::string& targetId, const std::string& status) {
    // Only this engine kills renderers (the kernel's OOM killer aside, for memory too).
    const std::string reason = status == "killed" && m_memoryKills > 0
                                   ? "used more than " + std::to_string(kMostPageMemoryMiB) +
                                         " MB of memory and was ended; what it held by then is kept"
                               : status == "crashed" ? std::string("its renderer crashed")
                                                     : "its renderer ended (" + status + ")";
    if (m_player->Crashed(targetId, reason)) {
        return;
    }
    std::vector<ChromiumTab*> tabs;
    for (const auto& tab : m_tabs) {
        tabs.push_back(tab.get());
    }
    for (ChromiumTab* tab : tabs) {
        if (tab->page != nullptr && tab->page->Holds(targetId)) {
            tab->page->Crashed(reason);
            return;
        }
        if (tab->page == nullptr && tab->targetId == targetId) {
            CloseTab(*tab);
            return;
        }
    }
}

void ChromiumEngine::OnClosed(const std::string& why) {
    const std::string log = m_process ? m_process->LogTail() : std::string();
    m_lost = "the browser ended unexpectedly (" + why + (log.empty() ? "" : "; " + log) + ")";
    // Copied: a page that fails leaves the list.
    const std::vector<ChromiumPage*> loading = m_loading;
    for (ChromiumPage* page : loading) {
        if (std::find(m_loading.begin(), m_loading.end(), page) != m_loading.end()) {
            page->Fail(m_lost);
        }
    }
    m_player->Lost(m_lost);
    StartWaiting();
}
