#include "swfharvex/PageEngineChoice.h"

#include <cstdlib>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "browser/HostApplication.h"
#include "browser/PageEngines.h"

namespace {

std::chrono::milliseconds Milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

// Chromium's options as chosen; fails when its window is asked for without a display.
Outcome<ChromiumOptions> ChromiumChoice(const PageEngineChoice& choice, bool keepPagesOpen,
                                        std::ostream& err) {
    ChromiumOptions options;
    options.settle = Milliseconds(choice.settleSeconds);
    options.pageTimeout = Milliseconds(choice.pageTimeoutSeconds);
    options.keepPagesOpen = keepPagesOpen;
    options.readLinks = choice.readLinks;
    // Nobody sees a capture's pages: their images, fonts and media are not fetched.
    options.fetchForCaptureOnly = !keepPagesOpen && !choice.showBrowser;
    if (choice.showBrowser) {
        if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            return Failure{"--show-browser", "there is no display (DISPLAY is not set)"};
        }
        options.headless = false;
        if (std::filesystem::is_regular_file(std::filesystem::path(choice.playerRoot) /
                                             "ruffle.js")) {
            options.playerRoot = choice.playerRoot;
        } else {
            err << "swfharvex: the movie player is not in " << choice.playerRoot
                << " (scripts/run installs it): the pages' movies will not play\n";
        }
    }
    return options;
}

} // namespace

void PageEngineChoice::AddOptions(CLI::App& app) {
    app.add_option("--engine", engine,
                   "How pages are read: chromium runs their scripts (so movies that scripts "
                   "insert are caught), static parses the HTML alone (fast, no browser needed). "
                   "Default: chromium when it is installed, else static")
        ->check(CLI::IsMember({"static", "chromium"}));
    app.add_option("--settle", settleSeconds,
                   "Chromium engine: a page is done once it has loaded and is quiet (no request "
                   "in flight, no timer due within this many seconds); a page that never rests "
                   "is done after this many seconds without a new request or plug-in object")
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
    std::unique_ptr<PageEngine> chosen;
    std::string fallback; // why Chromium does not read the pages, when it was not asked for
    if (engine != "static") {
        Outcome<ChromiumOptions> options = ChromiumChoice(*this, keepPagesOpen, err);
        if (!options) {
            return options.failure();
        }
        Outcome<std::unique_ptr<PageEngine>> started = page_engines::Chromium(options.value());
        if (started) {
            chosen = std::move(started.value());
        } else if (engine == "chromium") {
            return started.failure();
        } else {
            fallback = started.failure().message() + "; ";
        }
    }
    if (!chosen) {
        chosen = page_engines::Static(pageOptions);
    }
    err << "swfharvex: " << fallback << "page engine: " << chosen->description() << '\n';
    host.setPageEngine(std::move(chosen));
    return {};
}
