#include "swfharvex/CaptureCommand.h"

#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
#include "swfharvex/DesktopCommand.h"
#include "swfharvex/ProgressDisplay.h"
#include "webkit/DownloadActivity.h"

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Transfers end by themselves (the service gives up on stalled ones); this only bounds a bug.
constexpr auto kLongestWait = std::chrono::hours(24);

} // namespace

std::string CaptureCommand::DefaultBundlePath() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return (program.parent_path().parent_path() / "SWFHarvex.bundle").string();
}

int CaptureCommand::Run(std::ostream& out, std::ostream& err, bool progressIsTerminal) const {
    RunLoop& loop = RunLoop::Main();
    HostApplication host;
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    std::string bundlePath =
        m_options.bundlePath.empty() ? DefaultBundlePath() : m_options.bundlePath;
    BundleLoader::Result loaded = BundleLoader::loadBundle(bundlePath);
    if (!loaded.bundle) {
        err << "swfharvex: " << loaded.error << '\n';
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
            const HostPage::Result& result = page.result();
            if (!result.ok) {
                err << "swfharvex: " << result.error << '\n';
                allLoaded = false;
            } else if (!result.notice.empty()) {
                err << "swfharvex: " << result.notice << '\n';
            }
        });
    }

    std::optional<ProgressDisplay> display;
    RunLoop::TimerId timer = 0;
    if (progressIsTerminal) {
        display.emplace(err);
        timer = loop.AddTimer(kProgressInterval, true, [&display] { display->Redraw(); });
    }
    loop.RunUntil(
        [&host] { return host.pagesFinished() && DownloadActivity::Shared().RunningCount() == 0; },
        kLongestWait);
    if (timer != 0) {
        loop.CancelTimer(timer);
    }
    display.reset();

    nlohmann::json list = nlohmann::json::parse(
        objc_msgSend<std::string>(NSClassFromString("HVXPlugIn"), "capturedSWFListJSON"));
    if (m_options.json) {
        out << list.dump(2) << '\n';
    } else {
        for (const nlohmann::json& entry : list) {
            out << entry["SWFName"].get<std::string>() << '\t'
                << entry["SWFAddress"].get<std::string>() << '\n';
        }
    }
    return allLoaded ? kAllLoaded : kSomeFailed;
}
