#pragma once

#include <string>
#include <vector>

#include "foundation/Outcome.h"

// dissecta's command line: one movie and at most one of --json, --html PAGE and --app.
struct DissectaOptions {
    std::string movie;
    bool json = false;
    std::string htmlPath; // empty: no --html
    bool asApplication = false;
    bool help = false; // -h or --help: nothing else is read

    // `args` without the program name. A failure's message is the usage error to show.
    static Outcome<DissectaOptions> Parse(const std::vector<std::string>& args);
    static std::string HelpText();
};
