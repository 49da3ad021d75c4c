#include "DesktopServer.h"

#include <algorithm>
#include <functional>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "DesktopToken.h"
#include "IcnsImage.h"
#include "LoopbackHttp.h"
#include "MainThreadAnswer.h"
#include "ServedFile.h"
#include "UserEventDelivery.h"
#include "foundation/BoundedJson.h"
#include "foundation/RunLoop.h"
#include "webkit/WebView.h"

namespace {

using json = nlohmann::json;

constexpr const char* kLoopback = "127.0.0.1";
constexpr int kPoolSize = 64; // each open event stream holds a worker
constexpr uintmax_t kMostIconBytes = uintmax_t{16} * 1024 * 1024;
// How often a waiting stream looks whether its client is still there: a tab that closes frees its
// stream and its worker within this time.
constexpr auto kStreamPoll = std::chrono::milliseconds(250);

// The desktop page loads only what this server serves, and frames only the frames' origin (by
// way of this server's own /frame/ address, which sends it there); nobody may frame it.
std::string DesktopPolicy(const std::string& framesOrigin) {
    return "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; "
           "style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; media-src 'self' blob:; "
           "connect-src 'self'; frame-src 'self' " +
           framesOrigin +
           "; worker-src 'self' blob:; object-src 'none'; base-uri 'none'; form-action 'none'; "
           "frame-ancestors 'none'";
}
constexpr uintmax_t kLargestPage = uintmax_t{1} << 20;
// The plug-in's pages look for the player in a folder of this name beside them.
constexpr std::string_view kPlayerBesidePages = "ruffle/";

std::string CookieValue(const std::string& header, const std::string& name) {
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find(';', at);
        if (end == std::string::npos) {
            end = header.size();
        }
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.compare(0, name.size() + 1, name + "=") == 0) {
            return pair.substr(name.size() + 1);
        }
        at = end + 1;
    }
    return {};
}

void SetCommonHeaders(httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
}

} // namespace

DesktopServer::DesktopServer(Options options, const std::shared_ptr<DesktopPresenter>& presenter)
    : m_options(std::move(options)), m_presenter(presenter), m_web(m_options.webRoot),
      m_resources(m_options.resourcesRoot), m_capture(m_options.captureRoot),
      m_player(m_options.playerRoot), m_rate(m_options.eventsPerSecond) {
}

DesktopServer::~DesktopServer() {
    Stop();
}

std::string DesktopServer::EntryAddress() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/?token=" + m_options.token;
}

Outcome<> DesktopServer::Start() {
    if (m_options.token.empty()) {
        return Failure{"the desktop server", "no token"};
    }
    LoopbackHttp::Settings settings;
    settings.workers = kPoolSize;
    settings.mostBodyBytes = kMostBodyBytes;
    // Slow or idle connections that have not sent a request yet may hold a quarter of the workers;
    // the rest stay free for the user's requests and streams.
    settings.mostWaiting = kPoolSize / 4;
    settings.requestDeadline = std::chrono::seconds(10);
    m_http = std::make_unique<LoopbackHttp>(settings);
    Route();
    Outcome<int> bound = m_http->Bind(m_options.port, m_options.portAttempts);
    if (!bound) {
        return Failure{"the desktop server", bound.failure().why};
    }
    m_port = bound.value();
    FrameServer::Options frames;
    frames.webRoot = m_options.webRoot;
    frames.resourcesRoot = m_options.resourcesRoot;
    frames.captureRoot = m_options.captureRoot;
    frames.playerRoot = m_options.playerRoot;
    frames.desktopOrigins = Origins();
    frames.mainThreadTimeout = m_options.eventTimeout;
    m_frames = std::make_unique<FrameServer>(std::move(frames));
    if (Outcome<> framed = m_frames->Start(); !framed) {
        return framed;
    }
    m_policy = DesktopPolicy(m_frames->origin());
    m_http->Listen();
    return {};
}

std::vector<std::string> DesktopServer::Origins() const {
    const std::string port = ":" + std::to_string(m_port);
    return {std::string("http://") + kLoopback + port, "http://localhost" + port};
}

void DesktopServer::Stop() {
    {
        std::lock_guard lock(m_streamsMutex);
        for (const auto& weak : m_streams) {
            if (auto stream = weak.lock()) {
                stream->Close();
            }
        }
        m_streams.clear();
    }
    if (m_http) {
        m_http->Stop();
    }
    if (m_frames) {
        m_frames->Stop();
    }
}

void DesktopServer::Refuse(httplib::Response& response, int status, const std::string& reason,
                           const std::string& path) {
    m_http->Refuse(response, status, reason, path);
}

bool DesktopServer::Admit(const httplib::Request& request, httplib::Response& response) {
    SetCommonHeaders(response);
    const std::string port = ":" + std::to_string(m_port);
    const std::string host = request.get_header_value("Host");
    if (host != kLoopback + port && host != "localhost" + port) {
        Refuse(response, 403, "foreign host", request.path);
        return false;
    }
    if (!FromTheDesktopPage(request, response)) {
        return false;
    }
    if (request.method == "GET" && request.path == "/" && request.has_param("token")) {
        if (!DesktopToken::Matches(m_options.token, request.get_param_value("token"))) {
            Refuse(response, 403, "wrong token", request.path);
            return false;
        }
        // The token leaves the address bar (and the history) for a cookie scripts cannot read.
        response.status = 303;
        response.set_header("Location", "/");
        response.set_header("Set-Cookie", std::string(kCookieName) + "=" + m_options.token +
                                              "; HttpOnly; SameSite=Strict; Path=/");
        return false;
    }
    const std::string cookie = CookieValue(request.get_header_value("Cookie"), kCookieName);
    if (!DesktopToken::Matches(m_options.token, cookie)) {
        Refuse(response, 403, cookie.empty() ? "no token" : "wrong token", request.path);
        return false;
    }
    if (request.method != "GET" && request.method != "HEAD" &&
        !DesktopToken::Matches(m_options.token, request.get_header_value(kTokenHeader))) {
        Refuse(response, 403, "no token header", request.path);
        return false;
    }
    return true;
}

bool DesktopServer::FromTheDesktopPage(const httplib::Request& request,
                                       httplib::Response& response) {
    // Browsers say where a request comes from; programs that say nothing still need the token.
    const std::string site = request.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin" && site != "none") {
        Refuse(response, 403, "a request from another origin (" + site + ")", request.path);
        return false;
    }
    const std::string origin = request.get_header_value("Origin");
    const std::vector<std::string> own = Origins();
    if (!origin.empty() && std::find(own.begin(), own.end(), origin) == own.end()) {
        Refuse(response, 403, "a request from another origin", request.path);
        return false;
    }
    return true;
}

void DesktopServer::Route() {
    using httplib::Request;
    using httplib::Response;
    m_http->AdmitWith(
        [this](const Request& request, Response& response) { return Admit(request, response); });
    m_http->routes().Get("/", [this](const Request& request, Response& response) {
        ServeDesktopPage(request, response);
    });
    m_http->routes().Get(R"(/ui/(.*))", [this](const Request& request, Response& response) {
        ServeFile(m_web, request.matches[1], request, response);
    });
    m_http->routes().Get(R"(/files/(resources|capture|player)/(.*))", [this](const Request& request,
                                                                             Response& response) {
        const std::string area = request.matches[1];
        std::string relative = request.matches[2];
        if (area == "resources" && relative.starts_with(kPlayerBesidePages)) {
            ServeFile(m_player, relative.substr(kPlayerBesidePages.size()), request, response);
            return;
        }
        const ServedFolder& folder = area == "resources" ? m_resources
                                     : area == "capture" ? m_capture
                                                         : m_player;
        ServeFile(folder, relative, request, response);
    });
    m_http->routes().Get(
        R"(/frame/(\d{1,15}))",
        [this](const Request& request, Response& response) { ServeFrame(request, response); });
    m_http->routes().Get("/icon", [this](const Request& request, Response& response) {
        ServeIcon(request, response);
    });
    m_http->routes().Get("/events",
                         [this](const Request&, Response& response) { ServeEvents(response); });
    m_http->routes().Post("/event", [this](const Request& request, Response& response) {
        TakeEvent(request, response);
    });
    m_http->routes().Post("/page", [this](const Request& request, Response& response) {
        TakePageEvent(request, response);
    });
}

void DesktopServer::ServeFile(const ServedFolder& folder, const std::string& relative,
                              const httplib::Request& request, httplib::Response& response) {
    Outcome<std::string> served = ServeFolderFile(folder, relative, response);
    if (!served) {
        Refuse(response, 404, served.failure().why, request.path);
        return;
    }
    if (served.value().starts_with("text/html")) {
        response.set_header("Content-Security-Policy", m_policy);
    }
    // The player's files are one pinned release: the browser may keep them.
    if (&folder == &m_player) {
        response.headers.erase("Cache-Control");
        response.set_header("Cache-Control", "private, max-age=86400");
    }
}

void DesktopServer::ServeDesktopPage(const httplib::Request& request, httplib::Response& response) {
    // The renderer's posts must carry the token in a header, and the cookie is out of its reach:
    // the page is given the token itself, and the frames' origin its bridge relays for.
    const std::pair<std::string_view, std::string> placeholders[] = {
        {"{{SWFHARVEX_TOKEN}}", m_options.token}, {"{{SWFHARVEX_FRAMES}}", m_frames->origin()}};
    Outcome<std::filesystem::path> found = m_web.Resolve("desktop.html");
    Outcome<std::string> page =
        found ? ReadServedFile(found.value(), kLargestPage) : Outcome<std::string>(found.failure());
    if (!page) {
        Refuse(response, 404, page.failure().message(), request.path);
        return;
    }
    std::string text = std::move(page).value();
    for (const auto& [placeholder, value] : placeholders) {
        for (size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at)) {
            text.replace(at, placeholder.size(), value);
            at += value.size();
        }
    }
    response.set_header("Content-Security-Policy", m_policy);
    response.set_header("Cache-Control", "no-store");
    response.set_content(text, "text/html; charset=utf-8");
}

void DesktopServer::ServeFrame(const httplib::Request& request, httplib::Response& response) {
    const ModelObject::ObjectId view = std::stoull(request.matches[1]);
    std::optional<bool> exists = AskMainThread<bool>(
        [view] { return dynamic_cast<WebView*>(ModelObject::WithId(view)) != nullptr; },
        m_options.eventTimeout);
    if (!exists) {
        Refuse(response, 503, "the application did not answer in time", request.path);
        return;
    }
    if (!*exists) {
        Refuse(response, 404, "no such web view", request.path);
        return;
    }
    Outcome<std::string> address = m_frames->AddressOf(view);
    if (!address) {
        Refuse(response, 503, address.failure().message(), request.path);
        return;
    }
    response.status = 303;
    response.set_header("Location", address.value());
}

void DesktopServer::ServeIcon(const httplib::Request& request, httplib::Response& response) {
    const std::filesystem::path asked(request.get_param_value("path"));
    std::optional<std::filesystem::path> found;
    for (const ServedFolder* folder : {&m_resources, &m_capture, &m_player}) {
        if (!found) {
            found = folder->Contains(asked);
        }
    }
    if (!found) {
        Refuse(response, 404, "not a file in a served folder", request.path);
        return;
    }
    Outcome<std::string> bytes = ReadServedFile(*found, kMostIconBytes);
    Outcome<std::string> png = bytes ? LargestPngInIcns(bytes.value()) : bytes.failure();
    if (!png) {
        Refuse(response, 404, png.failure().why, request.path);
        return;
    }
    response.set_content(png.value(), "image/png");
}

void DesktopServer::ServeEvents(httplib::Response& response) {
    // Each open stream holds a worker. A new one ends the oldest past this many, so the user's
    // newest tab always gets its events and forgotten tabs cannot take the pool.
    constexpr size_t kMostStreams = 8;
    auto stream = std::make_shared<EventStreamQueue>();
    {
        std::lock_guard lock(m_streamsMutex);
        std::erase_if(m_streams, [](const auto& weak) {
            auto open = weak.lock();
            return !open || open->IsClosed();
        });
        for (; m_streams.size() >= kMostStreams; m_streams.erase(m_streams.begin())) {
            if (auto oldest = m_streams.front().lock()) {
                oldest->Close();
            }
        }
        m_streams.push_back(stream);
    }
    RunLoop::Main().Post([presenter = m_presenter, stream] {
        if (auto alive = presenter.lock()) {
            alive->Attach(stream);
        } else {
            stream->Close();
        }
    });
    const auto heartbeat = m_options.heartbeat;
    response.set_chunked_content_provider(
        "text/event-stream",
        [stream, heartbeat](size_t, httplib::DataSink& sink) {
            const auto ping = std::chrono::steady_clock::now() + heartbeat;
            while (true) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    ping - std::chrono::steady_clock::now());
                std::optional<std::string> event =
                    stream->Pop(std::clamp(left, std::chrono::milliseconds(1), kStreamPoll));
                if (stream->IsClosed()) {
                    sink.done();
                    return true;
                }
                std::string text = event ? std::move(*event) : std::string();
                if (text.empty() && std::chrono::steady_clock::now() >= ping) {
                    text = ": ping\n\n";
                }
                if (!text.empty() || !sink.is_writable()) {
                    if (text.empty() || !sink.write(text.data(), text.size())) {
                        stream->Close();
                        return false;
                    }
                    return true;
                }
            }
        },
        // However the response ends, the presenter stops queueing for it.
        [stream](bool) { stream->Close(); });
}

void DesktopServer::TakeEvent(const httplib::Request& request, httplib::Response& response) {
    // The user's own clicks have a budget of their own: no page can spend it.
    if (!m_rate.Allow("user")) {
        Refuse(response, 429, "too many events", request.path);
        return;
    }
    Deliver(EventSource::User, request, response);
}

void DesktopServer::TakePageEvent(const httplib::Request& request, httplib::Response& response) {
    Deliver(EventSource::Page, request, response);
}

void DesktopServer::Deliver(EventSource source, const httplib::Request& request,
                            httplib::Response& response) {
    // An event is a flat object: a few levels are room enough.
    Outcome<json> parsed = ParseBoundedJson(request.body, {kMostBodyBytes, 8}, request.path);
    if (!parsed) {
        Refuse(response, 400, parsed.failure().why, request.path);
        return;
    }
    json event = std::move(parsed).value();
    if (std::optional<EventAnswer> wrong = CheckEventShape(event, source)) {
        Refuse(response, wrong->status, wrong->error, request.path);
        return;
    }
    // Each page has a budget of its own.
    if (source == EventSource::Page &&
        !m_rate.Allow("page " + std::to_string(event["oid"].get<ModelObject::ObjectId>()))) {
        Refuse(response, 429, "too many events", request.path);
        return;
    }
    std::optional<EventAnswer> answered = AskMainThread<EventAnswer>(
        [presenter = m_presenter, event = std::move(event), source] {
            return presenter.expired() ? EventAnswer{503, "the desktop is closing"}
                                       : DeliverEvent(event, source);
        },
        m_options.eventTimeout);
    if (!answered) {
        Refuse(response, 503, "the application did not answer in time", request.path);
        return;
    }
    const EventAnswer& result = *answered;
    if (result.status != 200) {
        Refuse(response, result.status, result.error, request.path);
        return;
    }
    response.set_content(R"({"ok":true})", "application/json");
}
