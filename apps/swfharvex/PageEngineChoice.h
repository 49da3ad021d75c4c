#pragma once

#include <ostream>
#include <string>

#include "foundation/Outcome.h"

namespace CLI {
class App;
}
class HostApplication;

// Which engine reads the pages of a run, as the command line chooses it: Chromium (the pages'
// scripts run) when it is installed, else the static reader (no scripts), unless --engine says.
struct PageEngineChoice {
    std::string engine; // "", "static" or "chromium"
    double settleSeconds = 2;
    double pageTimeoutSeconds = 30;
    bool showBrowser = false;
    // The movie player's folder (Ruffle): the pages shown with --show-browser play their movies.
    std::string playerRoot;
    // Whether pages say where they lead once done (a crawl follows their links).
    bool readLinks = false;

    // --engine, --settle, --page-timeout and --show-browser.
    void AddOptions(CLI::App& app);
    // Starts the engine in `host` and says on `err` which one reads the pages. Fails only when
    // Chromium was asked for by name and cannot run; `keepPagesOpen` keeps done pages reporting.
    Outcome<> Apply(HostApplication& host, bool keepPagesOpen, std::ostream& err) const;
};
