#include "swfharvex/CaptureCommand.h"

#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"
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

    bool allLoaded = true;
    for (const std::string& text : m_options.urls) {
        WebPageLoader::Result page = host.openPage(std::string_view(text));
        if (!page.ok) {
            err << "swfharvex: " << page.error << '\n';
            allLoaded = false;
        }
    }

    std::optional<ProgressDisplay> display;
    RunLoop::TimerId timer = 0;
    if (progressIsTerminal) {
        display.emplace(err);
        timer = loop.AddTimer(kProgressInterval, true, [&display] { display->Redraw(); });
    }
    loop.RunUntil([] { return DownloadActivity::Shared().RunningCount() == 0; }, kLongestWait);
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
