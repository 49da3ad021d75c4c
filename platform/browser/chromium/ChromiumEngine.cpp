#include "browser/chromium/ChromiumEngine.h"

#include <algorithm>

#include "browser/chromium/ChromiumPage.h"

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kTickInterval = std::chrono::milliseconds(50);
constexpr auto kCloseGrace = std::chrono::milliseconds(2000);

} // namespace

ChromiumEngine::ChromiumEngine(Options options) : m_options(std::move(options)) {
}

Outcome<std::unique_ptr<ChromiumEngine>> ChromiumEngine::Start(Options options) {
    std::unique_ptr<ChromiumEngine> engine(new ChromiumEngine(std::move(options)));
    Outcome<std::unique_ptr<ChromiumProcess>> process =
        ChromiumProcess::Start({engine->m_options.executable, engine->m_options.headless,
                                !engine->m_options.playerRoot.empty()});
    if (!process) {
        return process.failure();
    }
    engine->m_process = std::move(process.value());
    engine->m_connection = std::make_unique<DevToolsConnection>(
        engine->m_process->commandFd(), engine->m_process->replyFd(),
        [raw = engine.get()](const std::string& method, const DevToolsConnection::Json& params,
                             const std::string& sessionId) {
            raw->OnEvent(method, params, sessionId);
        });
    Outcome<DevToolsConnection::Json> version =
        engine->m_connection->Call("Browser.getVersion", DevToolsConnection::Json::object(), {},
                                   kStartTimeout);
    if (!version) {
        const std::string log = engine->m_process->LogTail();
        return Failure{"Chromium did not start",
                       version.failure().message() + (log.empty() ? "" : " (" + log + ")")};
    }
    // "HeadlessChrome/156.0.8078.129" names the protocol's product; people know it as Chromium.
    const std::string product = version.value().value("product", "");
    engine->m_product = "Chromium " + product.substr(product.find('/') + 1);
    // A movie's address opened as a document must not become a file in some folder.
    engine->m_connection->Send("Browser.setDownloadBehavior", {{"behavior", "deny"}});
    engine->m_tick = RunLoop::Main().AddTimer(kTickInterval, true, [raw = engine.get()] {
        raw->Tick();
    });
    return engine;
}

ChromiumEngine::~ChromiumEngine() {
    if (m_tick != 0) {
        RunLoop::Main().CancelTimer(m_tick);
    }
    const bool connected = m_connection && m_connection->connected();
    if (connected) {
        m_connection->Send("Browser.close", DevToolsConnection::Json::object());
    }
    if (m_process) {
        m_process->Stop(connected ? kCloseGrace : std::chrono::milliseconds(0));
    }
    m_connection.reset();
}

std::unique_ptr<HostPage> ChromiumEngine::NewPage() {
    return std::make_unique<ChromiumPage>(*this);
}

void ChromiumEngine::Enqueue(ChromiumPage& page) {
    m_waiting.push_back(&page);
    StartWaiting();
}

void ChromiumEngine::StartWaiting() {
    while (!m_waiting.empty() && m_loading.size() < kMostLoadingPages) {
        ChromiumPage* page = m_waiting.front();
        m_waiting.pop_front();
        m_loading.push_back(page);
        if (!m_connection->connected()) {
            page->Fail("the browser has gone");
            continue;
        }
        page->Open();
    }
}

void ChromiumEngine::Attach(const std::string& sessionId, ChromiumPage& page) {
    m_sessions[sessionId] = &page;
}

void ChromiumEngine::Detach(const std::string& sessionId) {
    m_sessions.erase(sessionId);
}

void ChromiumEngine::Forget(ChromiumPage& page) {
    std::erase(m_waiting, &page);
    if (std::erase(m_loading, &page) > 0) {
        StartWaiting();
    }
    std::erase_if(m_sessions, [&page](const auto& entry) { return entry.second == &page; });
}

void ChromiumEngine::Tick() {
    const auto now = std::chrono::steady_clock::now();
    // Copied: a check may end a page, which changes the list.
    const std::vector<ChromiumPage*> loading = m_loading;
    for (ChromiumPage* page : loading) {
        if (std::find(m_loading.begin(), m_loading.end(), page) != m_loading.end()) {
            page->Check(now);
        }
    }
    std::erase_if(m_loading, [](ChromiumPage* page) { return page->finished(); });
    StartWaiting();
}

void ChromiumEngine::OnEvent(const std::string& method, const DevToolsConnection::Json& params,
                             const std::string& sessionId) {
    if (method.empty()) {
        // The browser ended under us: every page still loading fails, naming why.
        const std::string log = m_process->LogTail();
        const std::vector<ChromiumPage*> loading = m_loading;
        for (ChromiumPage* page : loading) {
            page->Fail("the browser ended unexpectedly" + (log.empty() ? "" : " (" + log + ")"));
        }
        return;
    }
    const auto page = m_sessions.find(sessionId);
    if (page != m_sessions.end()) {
        page->second->OnEvent(method, params, sessionId);
    }
}
