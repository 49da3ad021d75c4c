#include "swfharvex/PageEngineChoice.h"

#include <cstdlib>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "browser/HostApplication.h"

namespace {

std::chrono::milliseconds Milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

constexpr const char* kStaticLine = "page engine: static (the pages' scripts do not run)";

} // namespace

void PageEngineChoice::AddOptions(CLI::App& app) {
    app.add_option("--engine", engine,
                   "How pages are read: chromium runs their scripts (so movies that scripts "
                   "insert are caught), static parses the HTML alone (fast, no browser needed). "
                   "Default: chromium when it is installed, else static")
        ->check(CLI::IsMember({"static", "chromium"}));
    app.add_option("--settle", settleSeconds,
                   "Seconds a page must stay quiet (no network, no new plug-in object) after its "
                   "load event before it counts as done (chromium engine)")
        ->default_val(2)
        ->check(CLI::Range(0.0, 600.0));
    app.add_option("--page-timeout", pageTimeoutSeconds,
                   "Longest a page may load, in seconds. Chromium keeps what the page held by "
                   "then; the static engine, which also reads the page in this time, fails it")
        ->default_val(30)
        ->check(CLI::Range(0.1, 86400.0));
    app.add_flag("--show-browser", showBrowser,
                 "Show Chromium's window while it reads the pages (needs a display); their "
                 "movies play there with Ruffle");
}

Outcome<> PageEngineChoice::Apply(HostApplication& host, bool keepPagesOpen,
                                  std::ostream& err) const {
    PageFetcher::Options pageOptions;
    pageOptions.timeout = Milliseconds(pageTimeoutSeconds);
    host.setPageOptions(pageOptions);
    if (engine == "static") {
        err << "swfharvex: " << kStaticLine << '\n';
        return {};
    }
    ChromiumEngine::Options options;
    options.settle = Milliseconds(settleSeconds);
    options.pageTimeout = Milliseconds(pageTimeoutSeconds);
    options.keepPagesOpen = keepPagesOpen;
    if (showBrowser) {
        if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            return Failure{"--show-browser", "there is no display (DISPLAY is not set)"};
        }
        options.headless = false;
        if (std::filesystem::is_regular_file(std::filesystem::path(playerRoot) / "ruffle.js")) {
            options.playerRoot = playerRoot;
        } else {
            err << "swfharvex: the movie player is not in " << playerRoot
                << " (scripts/run installs it): the pages' movies will not play\n";
        }
    }
    if (Outcome<> started = host.useChromium(options); !started) {
        if (engine == "chromium") {
            return started.failure();
        }
        err << "swfharvex: " << started.failure().message() << "; " << kStaticLine << '\n';
        return {};
    }
    err << "swfharvex: page engine: chromium (" << host.chromium()->product()
        << "; the pages' scripts run)\n";
    return {};
}
