#include "browser/chromium/ChromiumPage.h"

#include "browser/DOMElement.h"
#include "browser/LocalPageFile.h"
#include "browser/MovieDocument.h"
#include "browser/chromium/PlayerFiles.h"
#include "browser/chromium/ResponseRecording.h"
#include "foundation/Log.h"

namespace {

// What a finished request sets off in the page (a script's callback inserting a movie) reaches
// the host a little after the request's end.
constexpr auto kQuietGrace = std::chrono::milliseconds(200);

std::string Seconds(std::chrono::milliseconds duration) {
    const auto tenths = duration.count() / 100;
    return std::to_string(tenths / 10) +
           (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

// The strings of a JSON array; anything else in it reads as "".
std::vector<std::string> Strings(const nlohmann::json& array) {
    std::vector<std::string> strings;
    if (array.is_array()) {
        for (const nlohmann::json& item : array) {
            strings.push_back(item.is_string() ? item.get<std::string>() : std::string());
        }
    }
    return strings;
}

} // namespace

const std::pair<const char*, ChromiumPage::Event> ChromiumPage::kEvents[] = {
    {"Runtime.executionContextCreated", &ChromiumPage::OnContextCreated},
    {"Runtime.executionContextDestroyed", &ChromiumPage::OnContextDestroyed},
    {"Runtime.executionContextsCleared", &ChromiumPage::OnContextsCleared},
    {"Runtime.bindingCalled", &ChromiumPage::OnBindingCalled},
    {"Network.requestWillBeSent", &ChromiumPage::OnRequestSent},
    {"Network.loadingFinished", &ChromiumPage::OnRequestEnded},
    {"Network.loadingFailed", &ChromiumPage::OnRequestEnded},
    {"Network.responseReceived", &ChromiumPage::OnResponse},
    {"Page.frameNavigated", &ChromiumPage::OnFrameNavigated},
    {"Page.loadEventFired", &ChromiumPage::OnLoadEvent},
    {"Fetch.requestPaused", &ChromiumPage::OnRequestPaused},
    {"Page.javascriptDialogOpening", &ChromiumPage::OnDialog},
    {"Target.attachedToTarget", &ChromiumPage::OnAttached},
    {"Target.detachedFromTarget", &ChromiumPage::OnDetached},
};

ChromiumPage::~ChromiumPage() {
    CancelTimers();
    Close();
    m_engine.Forget(*this);
}

Outcome<HostPage::Loaded> ChromiumPage::load(const URL& pageURL) {
    HVX_ASSERT_MAIN_THREAD();
    CancelTimers();
    Close();
    m_engine.Forget(*this);
    clear();
    m_url = pageURL;
    m_load = std::make_shared<int>(0);
    m_phase = Phase::Queued;
    m_contexts.clear();
    m_busy.clear();
    m_httpError.clear();
    m_readingLinks = false;
    // Refused before the browser opens it, as the static engine refuses it: a FIFO would hold
    // the page until its time limit, a device would be read without end.
    if (std::optional<std::string> notAPage = local_page_file::WhyNotAPage(pageURL)) {
        Fail(*notAPage);
        return result();
    }
    m_engine.Enqueue(*this);
    return Loaded{};
}

void ChromiumPage::stop() {
    if (!finished() && m_url) {
        End(Loaded{0, m_url->absoluteString() + ": stopped before it was done"});
    }
    CancelTimers();
    Close();
    m_engine.Forget(*this);
}

void ChromiumPage::Open() {
    m_phase = Phase::Opening;
    m_deadline = RunLoop::Main().AddTimer(m_engine.options().pageTimeout, false, [this] {
        m_deadline = 0;
        TimedOut();
    });
    m_engine.TakeTab(*this);
}

void ChromiumPage::UseTab(ChromiumTab& tab) {
    m_tab = &tab;
    m_targetId = tab.targetId;
    m_mainSession = tab.sessionId;
    if (m_phase != Phase::Opening) {
        // The page ended while it waited for the tab (its time limit): the tab serves the next.
        Close(true);
        return;
    }
    Listen(m_mainSession);
    Navigate();
}

void ChromiumPage::Listen(const std::string& sessionId) {
    DevToolsConnection& connection = m_engine.connection();
    connection.Forget(sessionId);
    for (const auto& entry : kEvents) {
        // Named, not a structured binding: clang 14 cannot capture one.
        const auto event = entry.second;
        connection.On(sessionId, entry.first, [this, event, sessionId](const Json& params) {
            (this->*event)(params, sessionId);
        });
    }
}

void ChromiumPage::Navigate() {
    m_phase = Phase::Loading;
    // The reply may come after this load was replaced or the page has gone.
    std::weak_ptr<int> load = m_load;
    m_engine.connection().Send("Page.navigate", {{"url", m_url->absoluteString()}}, m_mainSession,
                               [this, load](const Outcome<Json>& navigated) {
                                   if (load.expired()) {
                                       return;
                                   }
                                   if (!navigated) {
                                       Fail(navigated.failure().message());
                                   } else if (std::string error =
                                                  navigated.value().value("errorText", "");
                                              !error.empty()) {
                                       Fail(error);
                                   }
                               });
}

void ChromiumPage::OnContextCreated(const Json& params, const std::string& sessionId) {
    // Reports count only from documents of this load: a reused tab's last document may still
    // speak until the new one replaces it, and its contexts were made before this load listened.
    m_contexts.emplace(sessionId, params.value("context", Json::object()).value("id", 0));
}

void ChromiumPage::OnContextDestroyed(const Json& params, const std::string& sessionId) {
    // A document that has gone has no work left.
    if (m_busy.erase({sessionId, params.value("executionContextId", 0)}) > 0) {
        Touch();
    }
}

void ChromiumPage::OnContextsCleared(const Json& /*params*/, const std::string& sessionId) {
    if (std::erase_if(m_busy, [&](const auto& busy) { return busy.first == sessionId; }) > 0) {
        Touch();
    }
}

void ChromiumPage::OnBindingCalled(const Json& params, const std::string& sessionId) {
    const int contextId = params.value("executionContextId", 0);
    if (params.value("name", "") == ChromiumTabs::kReportBinding &&
        m_contexts.contains({sessionId, contextId})) {
        Report(params.value("payload", ""), sessionId, contextId);
    }
}

void ChromiumPage::OnRequestSent(const Json& params, const std::string& /*sessionId*/) {
    m_requests.insert(params.value("requestId", ""));
    Touch();
}

void ChromiumPage::OnRequestEnded(const Json& params, const std::string& /*sessionId*/) {
    m_requests.erase(params.value("requestId", ""));
    Touch();
}

void ChromiumPage::OnResponse(const Json& params, const std::string& sessionId) {
    // The page's own document failing is the page failing, as in the static engine.
    const Json& response = params.value("response", Json::object());
    const int status = response.value("status", 0);
    if (sessionId != m_mainSession || params.value("type", "") != "Document" ||
        params.value("frameId", "") != m_targetId) {
        return;
    }
    m_httpError = status >= 400 ? "HTTP " + std::to_string(status) : std::string();
    // Chromium downloads a movie rather than show it, and the navigation is aborted.
    if (status < 400) {
        if (std::optional<std::string> type =
                movie_document::MovieType(response.value("mimeType", ""), {})) {
            ShowMovie(response.value("url", ""), *type);
        }
    }
}

void ChromiumPage::OnFrameNavigated(const Json& params, const std::string& sessionId) {
    const Json& frame = params.value("frame", Json::object());
    if (sessionId != m_mainSession || frame.contains("parentId")) {
        return;
    }
    if (m_phase == Phase::Settling) {
        m_phase = Phase::Reloading;
    }
    // What the previous document had in flight died with it, reported or not.
    m_requests.clear();
    Touch();
    if (std::optional<URL> document = URL::URLWithString(frame.value("url", ""))) {
        setDocument(*document, *document);
    }
}

void ChromiumPage::OnLoadEvent(const Json& /*params*/, const std::string& sessionId) {
    if (sessionId != m_mainSession ||
        (m_phase != Phase::Loading && m_phase != Phase::Reloading && m_phase != Phase::Settling)) {
        return;
    }
    const bool first = m_phase == Phase::Loading;
    m_phase = Phase::Settling;
    Touch();
    if (first) {
        m_engine.Progressed();
    }
}

void ChromiumPage::OnRequestPaused(const Json& params, const std::string& sessionId) {
    if (response_recording::AtResponse(params)) {
        response_recording::RecordThenContinue(m_engine.connection(), params, sessionId,
                                               WireRecorder::Current());
        return;
    }
    // Paused are the player's own files and what a capture does not fetch (see
    // ChromiumEngine::PausedRequests).
    const std::string url = params.value("request", Json::object()).value("url", "");
    const std::string requestId = params.value("requestId", "");
    if (m_engine.options().playerRoot.empty() ||
        !url.starts_with(std::string(player_files::kOrigin) + "/")) {
        m_engine.connection().Send("Fetch.failRequest",
                                   {{"requestId", requestId}, {"errorReason", "BlockedByClient"}},
                                   sessionId);
        return;
    }
    Json answer = player_files::Answer(m_engine.options().playerRoot, url);
    answer["requestId"] = requestId;
    m_engine.connection().Send("Fetch.fulfillRequest", std::move(answer), sessionId);
}

void ChromiumPage::OnDialog(const Json& /*params*/, const std::string& sessionId) {
    // Nobody is there to answer: every alert, confirm and prompt is dismissed.
    m_engine.connection().Send("Page.handleJavaScriptDialog", {{"accept", false}}, sessionId);
}

void ChromiumPage::OnAttached(const Json& params, const std::string& sessionId) {
    DevToolsConnection& connection = m_engine.connection();
    const std::string child = params.value("sessionId", "");
    const Json& info = params.value("targetInfo", Json::object());
    if (info.value("type", "") != "iframe") {
        // Workers hold no plug-in objects: let them run, unobserved.
        connection.Send("Runtime.runIfWaitingForDebugger", Json::object(), child);
        connection.Send("Target.detachFromTarget", {{"sessionId", child}}, sessionId);
        return;
    }
    m_sessions.insert(child);
    m_frameTargets.insert(info.value("targetId", ""));
    Listen(child);
    std::weak_ptr<int> load = m_load;
    m_engine.SetUpSession(child, [this, load, &connection, child](const Outcome<>& ready) {
        // A frame that cannot be observed still runs; it costs only its own movies, and the log
        // says which. One that has gone meanwhile needed no observer.
        if (!ready && !load.expired() && m_sessions.contains(child)) {
            NSLog("swfharvex: a frame of " + m_url->absoluteString() +
                  " is not observed, its movies are missed: " + ready.failure().message());
        }
        connection.Send("Runtime.runIfWaitingForDebugger", Json::object(), child);
    });
}

void ChromiumPage::OnDetached(const Json& params, const std::string& /*sessionId*/) {
    const std::string child = params.value("sessionId", "");
    m_sessions.erase(child);
    m_frameTargets.erase(params.value("targetId", ""));
    m_engine.connection().Forget(child);
    if (std::erase_if(m_busy, [&](const auto& busy) { return busy.first == child; }) > 0) {
        Touch();
    }
}

void ChromiumPage::ShowMovie(const std::string& urlText, const std::string& type) {
    std::optional<URL> movie = URL::URLWithString(urlText);
    if (!movie) {
        movie = m_url;
    }
    setDocument(*movie, *movie);
    addPluginObject(movie_document::FullPageEmbed(*movie, type), type, movie,
                    movie->absoluteString(), *movie, NSMakeRect(0, 0, 0, 0));
    // Nothing more comes: no document, no scripts, no load event.
    End(Loaded{});
}

void ChromiumPage::Report(const std::string& payload, const std::string& sessionId, int contextId) {
    const Json reports = Json::parse(payload, nullptr, false);
    if (!reports.is_array()) {
        return;
    }
    for (const Json& report : reports) {
        if (!report.is_object()) {
            continue;
        }
        if (const auto quiet = report.find("quiet"); quiet != report.end()) {
            if (quiet->is_boolean() && quiet->get<bool>()) {
                m_busy.erase({sessionId, contextId});
            } else {
                m_busy.emplace(sessionId, contextId);
            }
            Touch();
        } else if (!AddReported(report, sessionId)) {
            return;
        }
    }
}

bool ChromiumPage::AddReported(const Json& report, const std::string& sessionId) {
    const std::vector<std::string> names = Strings(report.value("names", Json::array()));
    const std::vector<std::string> values = Strings(report.value("values", Json::array()));
    std::vector<DOMElement::Attribute> attributes;
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
        attributes.emplace_back(names[i], values[i]);
    }
    Ref<DOMElement> element =
        MakeRef<DOMElement>(report.value("tag", std::string()), std::move(attributes));
    const Json handle = report.value("handle", Json());
    element->setHandle(sessionId + "/" + handle.dump());

    const std::string urlText = report.value("urlText", std::string());
    std::optional<URL> url =
        urlText.empty() ? std::nullopt : URL::URLWithString(report.value("url", std::string()));
    std::optional<URL> base = URL::URLWithString(report.value("base", std::string()));
    if (!base) {
        base = documentURL() ? documentURL() : m_url;
    }
    // The main document's base is the page's.
    if (sessionId == m_mainSession && documentURL() &&
        URL::URLWithString(report.value("document", std::string())) == documentURL()) {
        setDocument(*documentURL(), *base);
    }
    // The laid-out box; an element not laid out (yet) has the size its attributes give.
    NSRect frame = NSMakeRect(0, 0, element->dimension("width"), element->dimension("height"));
    if (const Json rect = report.value("rect", Json());
        rect.is_array() && rect.size() == 4 && rect[2].is_number() && rect[3].is_number() &&
        (rect[2] > 0 || rect[3] > 0)) {
        frame = NSMakeRect(rect[0].get<float>(), rect[1].get<float>(), rect[2].get<float>(),
                           rect[3].get<float>());
    }
    Touch();
    if (!addPluginObject(element, report.value("type", std::string()), url, urlText, *base,
                         frame)) {
        End(Loaded{0, m_url->absoluteString() + ": more than " +
                          std::to_string(kMostPluginObjects) +
                          " plug-in objects; the rest were not looked at"});
        return false;
    }
    return true;
}

void ChromiumPage::Touch() {
    if (m_idle != 0) {
        RunLoop::Main().CancelTimer(m_idle);
        m_idle = 0;
    }
    if (m_phase == Phase::Settling && m_requests.empty()) {
        const std::chrono::milliseconds settle = m_engine.options().settle;
        m_idle = RunLoop::Main().AddTimer(m_busy.empty() ? std::min(kQuietGrace, settle) : settle,
                                          false, [this] {
                                              m_idle = 0;
                                              Settled();
                                          });
    }
}

void ChromiumPage::Settled() {
    if (m_readingLinks) {
        return;
    }
    if (!m_httpError.empty()) {
        Fail(m_httpError);
    } else {
        ReadLinksThenEnd(Loaded{}, true);
    }
}

void ChromiumPage::ReadLinksThenEnd(Outcome<Loaded> result, bool settled) {
    // The page's time limit ends the reading too.
    if (m_readingLinks || !m_engine.options().readLinks || m_mainSession.empty() || !result) {
        m_readingLinks = false;
        End(std::move(result), settled);
        return;
    }
    m_readingLinks = true;
    // Bounded whatever the page holds; the evaluation itself is stopped after a second. A frame
    // the browser loaded with the page is part of it: its links are the page's. One this script
    // cannot look into (another site's) is a page of its own.
    static constexpr const char* kLinks =
        "(() => { const out = []; const walk = (d, depth) => {"
        " for (const e of d.querySelectorAll('a[href], area[href]')) out.push(e.href);"
        " for (const e of d.querySelectorAll('iframe[src], frame[src]')) {"
        "  let inner = null; try { inner = e.contentDocument; } catch (x) { inner = null; }"
        "  if (inner && depth < 3 && inner.location.href !== 'about:blank') walk(inner, depth + 1);"
        "  else out.push(e.src); } };"
        " walk(document, 0);"
        " return out.filter((h) => typeof h === 'string' && h.length <= 4096).slice(0, 10000);"
        " })()";
    std::weak_ptr<int> load = m_load;
    m_engine.connection().Send(
        "Runtime.evaluate", {{"expression", kLinks}, {"returnByValue", true}, {"timeout", 1000}},
        m_mainSession,
        [this, load, result = std::move(result), settled](const Outcome<Json>& reply) mutable {
            if (load.expired() || finished()) {
                return;
            }
            m_readingLinks = false;
            const Json links =
                reply ? reply.value().value("result", Json::object()).value("value", Json::array())
                      : Json::array();
            for (const Json& link : links) {
                if (!link.is_string()) {
                    continue;
                }
                if (std::optional<URL> url = URL::URLWithString(link.get<std::string>())) {
                    addLink(*url);
                }
            }
            End(std::move(result), settled);
        });
}

void ChromiumPage::TimedOut() {
    if (finished()) {
        return;
    }
    const std::string limit = Seconds(m_engine.options().pageTimeout);
    if (loading()) {
        Fail("still loading after " + limit);
    } else {
        ReadLinksThenEnd(Loaded{0, m_url->absoluteString() + ": stopped after " + limit +
                                       " (the page kept loading); what it held by then is kept"},
                         false);
    }
}

void ChromiumPage::CancelTimers() {
    for (RunLoop::TimerId* timer : {&m_deadline, &m_idle}) {
        if (*timer != 0) {
            RunLoop::Main().CancelTimer(*timer);
            *timer = 0;
        }
    }
}

void ChromiumPage::Fail(const std::string& reason) {
    if (finished()) {
        return;
    }
    End(CouldNotLoad(m_url->absoluteString(), reason));
}

bool ChromiumPage::Holds(const std::string& targetId) const {
    return !targetId.empty() && (targetId == m_targetId || m_frameTargets.contains(targetId));
}

void ChromiumPage::Crashed(const std::string& reason) {
    if (!finished()) {
        Fail(reason);
    } else {
        Close(); // a page kept open lets go of its dead tab; its list stays
    }
}

void ChromiumPage::End(Outcome<Loaded> result, bool settled) {
    if (finished()) {
        return;
    }
    m_phase = Phase::Done;
    CancelTimers();
    if (!m_engine.options().keepPagesOpen || !result) {
        Close(settled);
    }
    // The finish handler may let the page go; the engine outlives it.
    ChromiumTabs& engine = m_engine;
    finish(std::move(result));
    engine.Progressed();
}

void ChromiumPage::Close(bool reusable) {
    DevToolsConnection& connection = m_engine.connection();
    for (const std::string& session : m_sessions) {
        connection.Forget(session);
    }
    m_sessions.clear();
    m_frameTargets.clear();
    m_requests.clear();
    m_busy.clear();
    if (!m_mainSession.empty()) {
        connection.Forget(m_mainSession);
    }
    if (m_tab != nullptr) {
        m_engine.ReturnTab(*m_tab, reusable);
        m_tab = nullptr;
    }
    m_targetId.clear();
    m_mainSession.clear();
}
