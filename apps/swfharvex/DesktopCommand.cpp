#include "swfharvex/DesktopCommand.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "appkit/DetachedLaunch.h"
#include "appkit/ProgramLookup.h"
#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/HostWindow.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/FileManager.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "server/DesktopPresenter.h"
#include "server/DesktopServer.h"
#include "server/DesktopToken.h"
#include "server/FramePage.h"
#include "swfharvex/CaptureCommand.h"
#include "swfharvex/CaptureFolderLock.h"
#include "webkit/WebDownload.h"
#include "webkit/WebView.h"

namespace {

constexpr auto kSignalPoll = std::chrono::milliseconds(100);
constexpr auto kForever = std::chrono::hours(24 * 365);

volatile std::sig_atomic_t g_stopRequested = 0;

void RequestStop(int) {
    g_stopRequested = 1;
}

// Catches SIGINT and SIGTERM for its lifetime; the run loop polls the flag, since nothing else
// may run inside a signal handler.
class StopSignals {
public:
    StopSignals() {
        g_stopRequested = 0;
        struct sigaction action {};
        action.sa_handler = &RequestStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~StopSignals() {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    StopSignals(StopSignals&&) = delete;
    StopSignals& operator=(StopSignals&&) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

void OpenInBrowser(const std::string& address, std::ostream& err) {
    std::optional<std::string> opener = FindProgramOnPath("xdg-open");
    Outcome<> opened = opener ? LaunchDetached({*opener, address})
                              : Outcome<>(Failure{"xdg-open", "not found on PATH"});
    if (!opened) {
        err << "swfharvex: cannot open a browser (" << opened.failure().message()
            << "); open the address above yourself\n";
    }
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

namespace {

// The build (or install) folder the running program's folder sits in.
std::filesystem::path BesideProgram() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return program.parent_path().parent_path();
}

} // namespace

std::string DesktopCommand::DefaultWebRoot() {
    return (BesideProgram() / "frontend" / "web").string();
}

std::string DesktopCommand::DefaultPlayerRoot() {
    return (BesideProgram() / "player" / "node_modules" / "@ruffle-rs" / "ruffle").string();
}

int DesktopCommand::Run(std::ostream& out, std::ostream& err) const {
    // Loading the plug-in empties the capture folder: never under another run.
    const std::string captureFolder = NSHomeDirectory() + "/Documents/SWFHarvexData";
    Outcome<CaptureFolderLock> lock = CaptureFolderLock::Take(captureFolder, "swfharvex desktop");
    if (!lock) {
        err << "swfharvex: " << lock.failure().message() << '\n';
        return CaptureFolderLock::IsInUse(lock.failure()) ? kFolderInUse : kFailed;
    }
    RunLoop& loop = RunLoop::Main();
    HostApplication host;
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    const std::string bundlePath =
        m_options.bundlePath.empty() ? CaptureCommand::DefaultBundlePath() : m_options.bundlePath;
    Outcome<Ref<NSBundle>> loaded = BundleLoader::loadBundle(bundlePath);
    if (!loaded) {
        err << "swfharvex: " << loaded.failure().message() << '\n';
        return kFailed;
    }
    // The host window's pages stay open and go on reporting the objects their scripts insert.
    const std::string playerRoot =
        m_options.playerRoot.empty() ? DefaultPlayerRoot() : m_options.playerRoot;
    PageEngineChoice engineChoice = m_options.engine;
    engineChoice.playerRoot = playerRoot;
    if (Outcome<> engine = engineChoice.Apply(host, true, err); !engine) {
        err << "swfharvex: " << engine.failure().message() << '\n';
        return kFailed;
    }
    Outcome<std::string> token = DesktopToken::Generate();
    if (!token) {
        err << "swfharvex: " << token.failure().message() << '\n';
        return kFailed;
    }

    const std::filesystem::path webRoot =
        m_options.webRoot.empty() ? DefaultWebRoot() : m_options.webRoot;
    DesktopServer::Options options;
    options.port = m_options.port;
    options.portAttempts = m_options.portGiven ? 1 : 1 + kMorePorts;
    options.token = token.value();
    options.webRoot = webRoot;
    options.resourcesRoot = std::filesystem::path(bundlePath) / "Resources";
    options.captureRoot = captureFolder;
    options.playerRoot = playerRoot;
    std::shared_ptr<DesktopPresenter> presenter = DesktopPresenter::Create();
    // Every web view's page is a frame in the user's browser.
    WebView::SetBackendFactory([weak = std::weak_ptr(presenter)](WebView& view) {
        return std::make_unique<FramePage>(view.objectId(), weak);
    });
    DesktopServer server(options, presenter);
    if (Outcome<> started = server.Start(); !started) {
        err << "swfharvex: " << started.failure().message() << '\n';
        return kFailed;
    }
    StopSignals signals;
    out << "SWFHarvex desktop: " << server.EntryAddress() << std::endl;

    const bool hasDisplay =
        std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (hasDisplay && !m_options.noOpen) {
        OpenInBrowser(server.EntryAddress(), err);
    }
    for (const std::string& text : m_options.urls) {
        host.openPage(std::string_view(text));
        host.pages().back()->setFinishHandler([&err, &page = *host.pages().back()] {
            if (!page.result()) {
                err << "swfharvex: " << page.result().failure().message() << '\n';
            }
        });
    }

    // The host's own window: the address field, what the pages held, the transfers.
    if (!m_options.urls.empty()) {
        host.windowController()->address->setStringValue(m_options.urls.back());
    }
    host.windowController()->Refresh();
    host.mainWindow()->makeKeyAndOrderFront(nullptr);

    RunLoop::TimerId poll = loop.AddTimer(kSignalPoll, true, [] {});
    loop.RunUntil([] { return g_stopRequested != 0; }, kForever);
    loop.CancelTimer(poll);

    server.Stop();
    WebView::SetBackendFactory(nullptr);
    presenter.reset();
    WebDownload::Shutdown();
    // Lets the cancelled transfers report their end before the host goes.
    loop.RunFor(std::chrono::milliseconds(50));
    SavePreferences();
    return kStopped;
}
