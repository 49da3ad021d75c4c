#include "browser/chromium/ChromiumPage.h"

#include "browser/DOMElement.h"
#include "browser/LocalPageFile.h"
#include "browser/MovieDocument.h"
#include "browser/chromium/ChromiumEngine.h"
#include "browser/chromium/PlayerFiles.h"

namespace {

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

ChromiumPage::~ChromiumPage() {
    Close();
    m_engine.Forget(*this);
}

ChromiumPage::Result ChromiumPage::load(const URL& pageURL) {
    HVX_ASSERT_MAIN_THREAD();
    Close();
    m_engine.Forget(*this);
    clear();
    m_url = pageURL;
    m_load = std::make_shared<int>(0);
    m_navigated = m_loadFired = m_everLoaded = false;
    m_contexts.clear();
    m_httpError.clear();
    // Refused before the browser opens it, as the static engine refuses it: a FIFO would hold
    // the page until its time limit, a device would be read without end.
    if (std::optional<std::string> notAPage = local_page_file::WhyNotAPage(pageURL)) {
        Fail(*notAPage);
        return result();
    }
    m_engine.Enqueue(*this);
    return Result::Loaded();
}

void ChromiumPage::stop() {
    if (!finished() && m_url) {
        End(Result::Loaded(m_url->absoluteString() + ": stopped before it was done"));
    }
    Close();
    m_engine.Forget(*this);
}

void ChromiumPage::Open() {
    m_started = m_lastChange = Clock::now();
    m_open = true;
    m_engine.TakeTab(*this);
}

void ChromiumPage::UseTab(ChromiumEngine::Tab& tab) {
    m_tab = &tab;
    m_targetId = tab.targetId;
    m_mainSession = tab.sessionId;
    Navigate();
}

void ChromiumPage::Navigate() {
    m_navigated = true;
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

void ChromiumPage::OnEvent(const std::string& method, const Json& params,
                           const std::string& sessionId) {
    const auto now = Clock::now();
    if (method == "Runtime.executionContextCreated") {
        // Reports count only from documents of this load: a reused tab's last document may
        // still speak until the new one replaces it.
        if (m_navigated) {
            m_contexts.emplace(sessionId, params.value("context", Json::object()).value("id", 0));
        }
    } else if (method == "Runtime.bindingCalled") {
        if (params.value("name", "") == ChromiumEngine::kReportBinding &&
            m_contexts.contains({sessionId, params.value("executionContextId", 0)})) {
            Report(params.value("payload", ""), sessionId);
        }
    } else if (method == "Network.requestWillBeSent") {
        m_requests.insert(params.value("requestId", ""));
        m_lastChange = now;
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
        m_requests.erase(params.value("requestId", ""));
        m_lastChange = now;
    } else if (method == "Network.responseReceived") {
        // The page's own document failing is the page failing, as in the static engine.
        const Json& response = params.value("response", Json::object());
        const int status = response.value("status", 0);
        if (sessionId == m_mainSession && params.value("type", "") == "Document" &&
            params.value("frameId", "") == m_targetId) {
            m_httpError = status >= 400 ? "HTTP " + std::to_string(status) : std::string();
            // Chromium downloads a movie rather than show it, and the navigation is aborted.
            if (status < 400) {
                if (std::optional<std::string> type =
                        movie_document::MovieType(response.value("mimeType", ""), {})) {
                    ShowMovie(response.value("url", ""), *type);
                }
            }
        }
    } else if (method == "Page.frameNavigated") {
        const Json& frame = params.value("frame", Json::object());
        if (sessionId == m_mainSession && !frame.contains("parentId")) {
            m_navigated = true;
            m_loadFired = false;
            // What the previous document had in flight died with it, reported or not.
            m_requests.clear();
            if (std::optional<URL> document = URL::URLWithString(frame.value("url", ""))) {
                setDocument(*document, *document);
            }
        }
    } else if (method == "Page.loadEventFired") {
        if (sessionId == m_mainSession && m_navigated) {
            m_loadFired = m_everLoaded = true;
            m_lastChange = now;
        }
    } else if (method == "Fetch.requestPaused") {
        // Only the player's own origin is paused (see SetUpSession).
        Json answer =
            player_files::Answer(m_engine.options().playerRoot,
                                 params.value("request", Json::object()).value("url", ""));
        answer["requestId"] = params.value("requestId", "");
        m_engine.connection().Send("Fetch.fulfillRequest", std::move(answer), sessionId);
    } else if (method == "Page.javascriptDialogOpening") {
        // Nobody is there to answer: every alert, confirm and prompt is dismissed.
        m_engine.connection().Send("Page.handleJavaScriptDialog", {{"accept", false}}, sessionId);
    } else if (method == "Target.attachedToTarget") {
        const std::string child = params.value("sessionId", "");
        const Json& info = params.value("targetInfo", Json::object());
        if (info.value("type", "") == "iframe") {
            // A frame that cannot be observed still runs; it costs only its own movies.
            m_sessions.insert(child);
            m_frameTargets.insert(info.value("targetId", ""));
            m_engine.Attach(child, *this);
            m_engine.SetUpSession(child, [&engine = m_engine, child](const Outcome<>&) {
                engine.connection().Send("Runtime.runIfWaitingForDebugger", Json::object(), child);
            });
        } else {
            // Workers hold no plug-in objects: let them run, unobserved.
            m_engine.connection().Send("Runtime.runIfWaitingForDebugger", Json::object(), child);
            m_engine.connection().Send("Target.detachFromTarget", {{"sessionId", child}},
                                       sessionId);
        }
    } else if (method == "Target.detachedFromTarget") {
        const std::string child = params.value("sessionId", "");
        m_sessions.erase(child);
        m_frameTargets.erase(params.value("targetId", ""));
        m_engine.Detach(child);
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
    End(Result::Loaded());
}

void ChromiumPage::Report(const std::string& payload, const std::string& sessionId) {
    const Json reports = Json::parse(payload, nullptr, false);
    if (!reports.is_array()) {
        return;
    }
    for (const Json& report : reports) {
        if (!report.is_object()) {
            continue;
        }
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
        m_lastChange = Clock::now();
        if (!addPluginObject(element, report.value("type", std::string()), url, urlText, *base,
                             frame)) {
            End(Result::Loaded(m_url->absoluteString() + ": more than " +
                               std::to_string(kMostPluginObjects) +
                               " plug-in objects; the rest were not looked at"));
            return;
        }
    }
}

void ChromiumPage::Check(Clock::time_point now) {
    if (!m_open || finished()) {
        return;
    }
    const auto& options = m_engine.options();
    if (now - m_started >= options.pageTimeout) {
        const std::string limit = Seconds(options.pageTimeout);
        if (!m_everLoaded) {
            Fail("still loading after " + limit);
        } else {
            End(Result::Loaded(m_url->absoluteString() + ": stopped after " + limit +
                               " (the page kept loading); what it held by then is kept"));
        }
        return;
    }
    if (m_loadFired && m_requests.empty() && now - m_lastChange >= options.settle) {
        if (!m_httpError.empty()) {
            Fail(m_httpError);
        } else {
            End(Result::Loaded(), true);
        }
    }
}

void ChromiumPage::Fail(const std::string& reason) {
    if (finished()) {
        return;
    }
    End(Result::Failed("Could not load " + m_url->absoluteString() + ": " + reason));
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

void ChromiumPage::End(Result result, bool settled) {
    if (finished()) {
        return;
    }
    if (!m_engine.options().keepPagesOpen || !result.ok) {
        Close(settled);
    }
    finish(std::move(result));
}

void ChromiumPage::Close(bool reusable) {
    for (const std::string& session : m_sessions) {
        m_engine.Detach(session);
    }
    m_sessions.clear();
    m_frameTargets.clear();
    m_requests.clear();
    if (m_tab != nullptr) {
        m_engine.ReturnTab(*m_tab, reusable);
        m_tab = nullptr;
    }
    m_targetId.clear();
    m_mainSession.clear();
    m_open = false;
}
