#include "swfharvex/CaptureCommand.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "appkit/NSAlert.h"
#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/FileManager.h"
#include "foundation/JsonText.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "swfharvex/CaptureFolderLock.h"
#include "swfharvex/DesktopCommand.h"
#include "swfharvex/InterruptSignals.h"
#include "swfharvex/ProgressDisplay.h"
#include "webkit/DownloadActivity.h"
#include "webkit/WebDownload.h"

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Transfers end by themselves (the service gives up on stalled ones); this only bounds a bug.
constexpr auto kLongestWait = std::chrono::hours(24);
// How soon a caught signal is noticed: the handler only notes it.
constexpr auto kSignalPoll = std::chrono::milliseconds(100);
// Lets cancelled transfers report their end before the list is printed.
constexpr auto kCancelGrace = std::chrono::milliseconds(50);

// No window of this run is ever shown: an alert's texts go to standard error instead.
class AlertsOnStandardError {
public:
    explicit AlertsOnStandardError(std::ostream& err) {
        NSAlert::SetNoDesktopHandler([&err](const std::string& title, const std::string& message) {
            err << "swfharvex: " << title << (message.empty() ? "" : ": " + message) << '\n';
        });
    }
    ~AlertsOnStandardError() { NSAlert::SetNoDesktopHandler({}); }
    AlertsOnStandardError(const AlertsOnStandardError&) = delete;
    AlertsOnStandardError& operator=(const AlertsOnStandardError&) = delete;
    AlertsOnStandardError(AlertsOnStandardError&&) = delete;
    AlertsOnStandardError& operator=(AlertsOnStandardError&&) = delete;
};

// The movies of this run that were found and not caught: once each, and not when the same
// address was caught after all (by another page).
std::vector<DownloadActivity::Loss> NotCaught(size_t firstLoss, const nlohmann::json& captured) {
    std::set<std::string> seen;
    for (const nlohmann::json& entry : captured) {
        seen.insert(entry.value("SWFAddress", ""));
    }
    std::vector<DownloadActivity::Loss> losses;
    const auto& all = DownloadActivity::Shared().Losses();
    for (size_t i = firstLoss; i < all.size(); ++i) {
        if (seen.insert(all[i].url).second) {
            losses.push_back(all[i]);
        }
    }
    return losses;
}

} // namespace

std::string CaptureCommand::DefaultBundlePath() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return (program.parent_path().parent_path() / "SWFHarvex.bundle").string();
}

int CaptureCommand::Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const {
    // Taken before the plug-in loads, since loading empties the folder.
    const std::string folder = NSHomeDirectory() + "/Documents/SWFHarvexData";
    Outcome<CaptureFolderLock> lock = CaptureFolderLock::Take(folder, "swfharvex capture");
    if (!lock) {
        err << "swfharvex: " << lock.failure().message() << '\n';
        return CaptureFolderLock::IsInUse(lock.failure()) ? kFolderInUse : kSomeFailed;
    }
    // Before the page engine, so that its own handlers stand aside (see InterruptSignals).
    InterruptSignals signals;
    AlertsOnStandardError alerts(err);
    const size_t firstLoss = DownloadActivity::Shared().Losses().size();

    RunLoop& loop = RunLoop::Main();
    HostApplication host;
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    std::string bundlePath =
        m_options.bundlePath.empty() ? DefaultBundlePath() : m_options.bundlePath;
    Outcome<Ref<NSBundle>> loaded = BundleLoader::loadBundle(bundlePath);
    if (!loaded) {
        err << "swfharvex: " << loaded.failure().message() << '\n';
        return kSomeFailed;
    }

    PageEngineChoice engineChoice = m_options.engine;
    if (engineChoice.playerRoot.empty()) {
        engineChoice.playerRoot = DesktopCommand::DefaultPlayerRoot();
    }
    if (Outcome<> engine = engineChoice.Apply(host, false, err); !engine) {
        err << "swfharvex: " << engine.failure().message() << '\n';
        return kNoEngine;
    }

    // Each page says how it ended as soon as it has; with Chromium they load side by side.
    bool allLoaded = true;
    for (const std::string& text : m_options.urls) {
        host.openPage(std::string_view(text));
        host.pages().back()->setFinishHandler([&err, &allLoaded, &page = *host.pages().back()] {
            const Outcome<HostPage::Loaded>& result = page.result();
            if (!result) {
                err << "swfharvex: " << result.failure().message() << '\n';
                allLoaded = false;
            } else if (!result.value().notice.empty()) {
                err << "swfharvex: " << result.value().notice << '\n';
            }
        });
    }

    std::optional<ProgressDisplay> display;
    RunLoop::TimerId timer = 0;
    if (progressIsTerminal) {
        display.emplace(err);
        timer = loop.AddTimer(kProgressInterval, true, [&display] { display->Redraw(); });
    }
    const RunLoop::TimerId poll = loop.AddTimer(kSignalPoll, true, [] {});
    loop.RunUntil(
        [&host, &signals] {
            return signals.Caught() != 0 ||
                   (host.pagesFinished() && DownloadActivity::Shared().RunningCount() == 0);
        },
        kLongestWait);
    loop.CancelTimer(poll);
    if (timer != 0) {
        loop.CancelTimer(timer);
    }
    display.reset();
    const int caught = signals.Caught();
    if (caught != 0) {
        // Cancelling removes each transfer's partial file; what finished stays caught.
        WebDownload::Shutdown();
        loop.RunFor(kCancelGrace);
        err << "swfharvex: interrupted by SIG" << sigabbrev_np(caught)
            << "; running transfers were cancelled\n";
    }

    nlohmann::json list = nlohmann::json::parse(
        objc_msgSend<std::string>(NSClassFromString("HVXPlugIn"), "capturedSWFListJSON"));
    const std::vector<DownloadActivity::Loss> losses = NotCaught(firstLoss, list);
    for (const DownloadActivity::Loss& loss : losses) {
        err << "swfharvex: " << loss.url << ": not caught: " << loss.reason << '\n';
    }
    if (m_options.json) {
        nlohmann::json notCaught = nlohmann::json::array();
        for (const DownloadActivity::Loss& loss : losses) {
            nlohmann::json entry = nlohmann::json::object();
            PutText(entry, "url", loss.url);
            PutText(entry, "reason", loss.reason);
            notCaught.push_back(std::move(entry));
        }
        out << nlohmann::json{{"captured", list}, {"notCaught", notCaught}}.dump(2) << '\n';
    } else {
        for (const nlohmann::json& entry : list) {
            out << entry["SWFName"].get<std::string>() << '\t'
                << entry["SWFAddress"].get<std::string>() << '\n';
        }
    }
    out.flush();
    if (caught != 0) {
        return 128 + caught;
    }
    if (!allLoaded) {
        return kSomeFailed;
    }
    return losses.empty() ? kAllLoaded : kSomeNotCaught;
}
