#include "swfharvex/DesktopCommand.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "appkit/DetachedLaunch.h"
#include "browser/HostApplication.h"
#include "browser/HostWindow.h"
#include "foundation/ChildProcess.h"
#include "runtime/MessageSend.h"
#include "server/DesktopPresenter.h"
#include "server/DesktopServer.h"
#include "server/DesktopToken.h"
#include "server/FramePage.h"
#include "swfharvex/HostSession.h"
#include "swfharvex/MirrorKeeper.h"
#include "webkit/WebView.h"

namespace {

void OpenInBrowser(const std::string& address, std::ostream& err) {
    std::optional<std::string> opener = ChildProcess::FindProgram("xdg-open");
    Outcome<> opened = opener ? LaunchDetached({*opener, address})
                              : Outcome<>(Failure{"xdg-open", "not found on PATH"});
    if (!opened) {
        err << "swfharvex: cannot open a browser (" << opened.failure().message()
            << "); open the address above yourself\n";
    }
}

constexpr auto kForever = std::chrono::hours(24 * 365);

// The host's own window: the address field, what the pages held, the transfers.
void ShowHostWindow(HostApplication& host, const std::vector<std::string>& urls) {
    if (!urls.empty()) {
        host.windowController()->address->setStringValue(urls.back());
    }
    host.windowController()->Refresh();
    host.mainWindow()->makeKeyAndOrderFront(nullptr);
}

// The plug-in keeps its settings in memory between saves: write them before the process ends.
void SavePreferences() {
    Class store = NSClassFromString("PreferenceData");
    SEL shared = sel_registerName("sharedPreferenceData");
    SEL save = sel_registerName("SaveUserPreference");
    if (store != nullptr && class_getClassMethod(store, shared) != nullptr &&
        instancesRespondToSelector(store, save)) {
        objc_msgSend<void>(objc_msgSend<id>(store, shared), save);
    }
}

} // namespace

int DesktopCommand::Run(std::ostream& out, std::ostream& err) const {
    PageEngineChoice engine = m_options.engine;
    engine.playerRoot = m_options.playerRoot;
    // The host window's pages stay open and go on reporting the objects their scripts insert.
    HostSession session(
        {"swfharvex desktop", m_options.bundlePath, engine, true, {SIGINT, SIGTERM}});
    if (const HostSession::Refusal refused = session.Start(err);
        refused != HostSession::Refusal::kNone) {
        return refused == HostSession::Refusal::kFolderInUse ? kFolderInUse : kFailed;
    }
    // A movie caught here plays from what it loads, caught beside it: found by reading only.
    // Played in the background as well, movies would take the machine from the one the person
    // plays (four players running flat out, on two cores, stalled the window's own).
    MirrorKeeper mirror(session.captureFolder(), DependencyBounds{},
                        [&err](const DependencyCatch& movie) { ReportDependencies(movie, err); });
    std::shared_ptr<DesktopPresenter> presenter = DesktopPresenter::Create();
    Outcome<std::unique_ptr<DesktopServer>> server = StartServer(session, presenter);
    if (!server) {
        err << "swfharvex: " << server.failure().message() << '\n';
        return kFailed;
    }
    out << "SWFHarvex desktop: " << server.value()->EntryAddress() << std::endl;
    const bool hasDisplay =
        std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (hasDisplay && !m_options.noOpen) {
        OpenInBrowser(server.value()->EntryAddress(), err);
    }
    session.OpenPages(m_options.urls, [&err](const HostPage& page) {
        if (!page.result()) {
            err << "swfharvex: " << page.result().failure().message() << '\n';
        }
    });
    ShowHostWindow(session.host(), m_options.urls);
    static_cast<void>(session.RunUntil([] { return false; }, kForever));

    server.value()->Stop();
    WebView::SetBackendFactory(nullptr);
    presenter.reset();
    HostSession::CancelTransfers();
    SavePreferences();
    return kStopped;
}

Outcome<std::unique_ptr<DesktopServer>>
DesktopCommand::StartServer(const HostSession& session,
                            const std::shared_ptr<DesktopPresenter>& presenter) const {
    Outcome<std::string> token = DesktopToken::Generate();
    if (!token) {
        return token.failure();
    }
    DesktopServer::Options options;
    options.port = m_options.port;
    options.portAttempts = m_options.portGiven ? 1 : 1 + kMorePorts;
    options.token = token.value();
    options.webRoot = m_options.webRoot.empty() ? session.layout().WebRoot()
                                                : std::filesystem::path(m_options.webRoot);
    options.resourcesRoot = std::filesystem::path(session.bundlePath()) / "Resources";
    options.captureRoot = session.captureFolder();
    options.playerRoot = session.playerRoot();
    // Every web view's page is a frame in the user's browser.
    WebView::SetBackendFactory([weak = std::weak_ptr(presenter)](WebView& view) {
        return std::make_unique<FramePage>(view.objectId(), weak);
    });
    auto server = std::make_unique<DesktopServer>(options, presenter);
    if (Outcome<> started = server->Start(); !started) {
        return started.failure();
    }
    return server;
}
