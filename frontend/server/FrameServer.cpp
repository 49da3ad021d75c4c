#include "FrameServer.h"

#include <algorithm>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "DesktopToken.h"
#include "FramePage.h"
#include "MainThreadAnswer.h"
#include "ServedFile.h"
#include "foundation/BoundedJson.h"
#include "foundation/URL.h"

namespace {

constexpr const char* kLoopback = "127.0.0.1";
// Pages load their player's scripts, its WebAssembly and a movie at once.
constexpr int kPoolSize = 16;
constexpr uintmax_t kLargestPage = uintmax_t{1} << 20;
// Far more views than any run makes; past it the oldest views lose their frames' addresses.
constexpr size_t kMostCapabilities = 4096;
// The plug-in's pages look for the player in a folder of this name beside them.
constexpr std::string_view kPlayerBesidePages = "ruffle/";
constexpr const char* kCapability = "([0-9a-f]{64})";
// A browser's report of a refused load is small and flat.
constexpr size_t kLargestReport = size_t{64} * 1024;
constexpr int kReportDepth = 4;
constexpr size_t kLongestReportedText = 300;

// A page may run its own inline scripts and the player (WebAssembly), and fetch only from this
// origin, where nothing but read-only files is served; only the desktop page may frame it. What the
// policy stops (a movie reaching for the desktop, say) is reported here, so the run's log shows it.
std::string PagePolicy(const std::vector<std::string>& desktopOrigins,
                       const std::string& capability) {
    std::string ancestors;
    for (const std::string& origin : desktopOrigins) {
        ancestors += " " + origin;
    }
    return "default-src 'self'; script-src 'self' 'unsafe-inline' 'wasm-unsafe-eval'; "
           "style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; "
           "media-src 'self' blob:; font-src 'self' data:; connect-src 'self'; "
           "worker-src 'self' blob:; frame-src 'none'; object-src 'none'; base-uri 'self'; "
           "form-action 'none'; frame-ancestors" +
           (ancestors.empty() ? std::string(" 'none'") : ancestors) +
           (capability.empty() ? std::string() : "; report-uri /" + capability + "/violation");
}

// What a browser's report of a refused load says, for the log: the address it refused and the
// rule; nothing when the report is not one.
std::optional<std::pair<std::string, std::string>> ViolationOf(const std::string& body) {
    Outcome<nlohmann::json> parsed =
        ParseBoundedJson(body, {kLargestReport, kReportDepth}, "a policy report");
    if (!parsed || !parsed.value().is_object() || !parsed.value().contains("csp-report") ||
        !parsed.value()["csp-report"].is_object()) {
        return std::nullopt;
    }
    const nlohmann::json report = std::move(parsed).value();
    const nlohmann::json& facts = report["csp-report"];
    auto text = [&facts](const char* key) {
        auto found = facts.find(key);
        return found != facts.end() && found->is_string()
                   ? found->get<std::string>().substr(0, kLongestReportedText)
                   : std::string("?");
    };
    return std::pair{text("blocked-uri"), text("violated-directive")};
}

void SetCommonHeaders(httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
    // The files are read by pages of this origin only.
    response.set_header("Cross-Origin-Resource-Policy", "same-origin");
}

} // namespace

FrameServer::FrameServer(Options options)
    : m_options(std::move(options)), m_web(m_options.webRoot), m_resources(m_options.resourcesRoot),
      m_capture(m_options.captureRoot), m_player(m_options.playerRoot) {
}

FrameServer::~FrameServer() {
    Stop();
}

std::string FrameServer::origin() const {
    return std::string("http://") + kLoopback + ":" + std::to_string(m_port);
}

Outcome<> FrameServer::Start() {
    LoopbackHttp::Settings settings;
    settings.workers = kPoolSize;
    // Nothing here takes a body but the browser's reports.
    settings.mostBodyBytes = kLargestReport;
    // A browser keeps up to six idle connections to one origin; pushing one of those out races
    // with the request it is about to carry, so only connections past that many are pushed out.
    settings.mostWaiting = kPoolSize / 2;
    settings.logPrefix = "frames: ";
    m_http = std::make_unique<LoopbackHttp>(settings);
    Route();
    Outcome<int> bound = m_http->Bind(0, 1);
    if (!bound) {
        return Failure{"the frames' server", bound.failure().why};
    }
    m_port = bound.value();
    m_http->Listen();
    return {};
}

void FrameServer::Stop() {
    if (m_http) {
        m_http->Stop();
    }
}

Outcome<std::string> FrameServer::AddressOf(ModelObject::ObjectId view) {
    std::lock_guard lock(m_capabilitiesMutex);
    auto known = m_capabilityOfView.find(view);
    if (known == m_capabilityOfView.end()) {
        Outcome<std::string> made = DesktopToken::Generate();
        if (!made) {
            return made.failure();
        }
        if (m_capabilityOfView.size() >= kMostCapabilities) {
            // Ids only grow: the smallest is the oldest view.
            m_viewOfCapability.erase(m_capabilityOfView.begin()->second);
            m_capabilityOfView.erase(m_capabilityOfView.begin());
        }
        m_viewOfCapability[made.value()] = view;
        known = m_capabilityOfView.emplace(view, std::move(made).value()).first;
    }
    return origin() + "/" + known->second + "/page";
}

std::optional<ModelObject::ObjectId> FrameServer::ViewOf(const std::string& capability) {
    std::lock_guard lock(m_capabilitiesMutex);
    auto found = m_viewOfCapability.find(capability);
    if (found == m_viewOfCapability.end()) {
        return std::nullopt;
    }
    return found->second;
}

void FrameServer::Refuse(httplib::Response& response, int status, const std::string& reason,
                         const std::string& path) {
    m_http->Refuse(response, status, reason, path);
}

bool FrameServer::Admit(const httplib::Request& request, httplib::Response& response) {
    SetCommonHeaders(response);
    if (request.get_header_value("Host") != std::string(kLoopback) + ":" + std::to_string(m_port)) {
        Refuse(response, 403, "foreign host", request.path);
        return false;
    }
    if (request.method != "GET" && request.method != "HEAD" &&
        !(request.method == "POST" && request.path.ends_with("/violation"))) {
        Refuse(response, 403, "frames only read", request.path);
        return false;
    }
    return true;
}

void FrameServer::Route() {
    using httplib::Request;
    using httplib::Response;
    m_http->AdmitWith(
        [this](const Request& request, Response& response) { return Admit(request, response); });
    // Each route looks its capability up first: an unknown one reads nothing.
    auto withView = [this](auto serve) {
        return [this, serve](const Request& request, Response& response) {
            std::optional<ModelObject::ObjectId> view = ViewOf(request.matches[1]);
            if (!view) {
                Refuse(response, 404, "no such frame", request.path);
                return;
            }
            serve(*view, request, response);
        };
    };
    m_http->routes().Get(
        std::string("/") + kCapability + "/page",
        withView([this](ModelObject::ObjectId view, const Request& request, Response& response) {
            ServePage(view, request.matches[1], request, response);
        }));
    m_http->routes().Post(
        std::string("/") + kCapability + "/violation",
        withView([this](ModelObject::ObjectId, const Request& request, Response& response) {
            std::optional<std::pair<std::string, std::string>> violation =
                ViolationOf(request.body);
            if (!violation) {
                Refuse(response, 400, "not a policy report", request.path);
                return;
            }
            // Logged like a refusal of this server's own, once per address and rule.
            m_http->LogRefusal(403, "the page's policy (" + violation->second + ")",
                               violation->first);
            response.status = 204;
        }));
    m_http->routes().Get(
        std::string("/") + kCapability + "/bridge.js",
        withView([this](ModelObject::ObjectId, const Request& request, Response& response) {
            ServeFile(m_web, "framebridge.js", request, response);
        }));
    m_http->routes().Get(
        std::string("/") + kCapability + "/files/(resources|capture|player)/(.*)",
        withView([this](ModelObject::ObjectId, const Request& request, Response& response) {
            const std::string area = request.matches[2];
            const std::string relative = request.matches[3];
            if (area == "player" ||
                (area == "resources" && relative.starts_with(kPlayerBesidePages))) {
                // One address for the player whatever the frame, so that the browser
                // keeps it, compiled, from one window to the next.
                response.status = 301;
                response.headers.erase("Cache-Control");
                response.set_header("Cache-Control", "private, max-age=86400");
                response.set_header(
                    "Location",
                    "/player/" +
                        (area == "player" ? relative : relative.substr(kPlayerBesidePages.size())));
                return;
            }
            ServeFile(area == "resources" ? m_resources : m_capture, relative, request, response);
        }));
    // The player is a published package: nothing in it needs a capability.
    m_http->routes().Get("/player/(.*)", [this](const Request& request, Response& response) {
        ServeFile(m_player, request.matches[1], request, response);
    });
}

void FrameServer::ServeFile(const ServedFolder& folder, const std::string& relative,
                            const httplib::Request& request, httplib::Response& response) {
    Outcome<std::string> served = ServeFolderFile(folder, relative, response);
    if (!served) {
        Refuse(response, 404, served.failure().why, request.path);
        return;
    }
    if (served.value().starts_with("text/html")) {
        // A page opened directly runs with the frames' policy; the player's own pages report
        // nowhere, having no capability.
        response.set_header("Content-Security-Policy",
                            PagePolicy(m_options.desktopOrigins,
                                       &folder == &m_player ? std::string() : request.matches[1]));
    }
    // The player is one pinned release: the browser may keep it, and with it the compiled
    // WebAssembly, so that a movie starts at once in the next frame.
    if (&folder == &m_player) {
        response.headers.erase("Cache-Control");
        response.set_header("Cache-Control", "private, max-age=86400");
    }
}

void FrameServer::ServePage(ModelObject::ObjectId view, const std::string& capability,
                            const httplib::Request& request, httplib::Response& response) {
    std::optional<Outcome<FrameSource>> asked = AskMainThread<Outcome<FrameSource>>(
        [view] { return FrameSourceOf(view); }, m_options.mainThreadTimeout);
    if (!asked) {
        Refuse(response, 503, "the application did not answer in time", request.path);
        return;
    }
    if (!*asked) {
        Refuse(response, 404, asked->failure().message(), request.path);
        return;
    }
    const FrameSource& source = asked->value();
    const std::string root = "/" + capability;
    // Only a page in the bundle's resources or the capture folder, seen through its route.
    struct Area {
        const ServedFolder* folder;
        std::string route;
    };
    const Area areas[] = {{&m_resources, root + "/files/resources"},
                          {&m_capture, root + "/files/capture"}};
    std::optional<std::string> base;
    std::optional<std::filesystem::path> file;
    for (const Area& area : areas) {
        std::optional<std::filesystem::path> relative = area.folder->RelativePathOf(source.page);
        std::optional<URL> folder =
            relative ? URL::fileURLWithPath("/" + relative->parent_path().string()) : std::nullopt;
        if (relative && folder && !base) {
            std::string path = folder->path();
            base = area.route + path + (path.ends_with('/') ? "" : "/");
            file = area.folder->root() / *relative;
        }
    }
    Outcome<std::string> page =
        file ? ReadServedFile(*file, kLargestPage)
             : Outcome<std::string>(Failure{source.page.string(), "not in a served folder"});
    if (!page) {
        Refuse(response, 404, page.failure().message(), request.path);
        return;
    }
    // No secret in here: the page, its scripts and its movies may read all of it.
    const nlohmann::json config{
        {"view", view},
        {"parents", m_options.desktopOrigins},
        {"objects", source.objects},
        {"folders",
         {{{"path", m_capture.root().string()}, {"url", root + "/files/capture/"}},
          {{"path", m_resources.root().string()}, {"url", root + "/files/resources/"}}}}};
    const std::string head =
        R"(<base href=")" + HtmlAttribute(*base) + R"("><script src=")" + root +
        R"(/bridge.js" data-config=")" +
        HtmlAttribute(config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) +
        R"("></script>)";
    response.set_header("Content-Security-Policy",
                        PagePolicy(m_options.desktopOrigins, capability));
    response.set_content(InsertAtHeadStart(std::move(page).value(), head),
                         "text/html; charset=utf-8");
}
