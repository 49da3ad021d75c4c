#include "DissectaOptions.h"

#include <array>

namespace {

Failure Usage(std::string message) {
    return Failure{std::move(message), ""};
}

// The options that exclude each other, in the order the help lists them.
Outcome<> CheckExclusions(const DissectaOptions& options) {
    const std::array<std::pair<const char*, bool>, 3> chosen{{{"--json", options.json},
                                                              {"--html", !options.htmlPath.empty()},
                                                              {"--app", options.asApplication}}};
    for (size_t first = 0; first < chosen.size(); ++first) {
        for (size_t second = first + 1; second < chosen.size(); ++second) {
            if (chosen[first].second && chosen[second].second) {
                return Usage(std::string(chosen[first].first) + " excludes " +
                             chosen[second].first);
            }
        }
    }
    return {};
}

} // namespace

Outcome<DissectaOptions> DissectaOptions::Parse(const std::vector<std::string>& args) {
    DissectaOptions options;
    bool optionsEnded = false;
    std::vector<std::string> positionals;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positionals.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
            return options;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--app") {
            options.asApplication = true;
        } else if (arg.starts_with("--html=")) {
            options.htmlPath = arg.substr(7);
        } else if (arg == "--html") {
            if (i + 1 == args.size()) {
                return Usage("--html: 1 required TEXT missing");
            }
            options.htmlPath = args[++i];
        } else {
            return Usage("The following argument was not expected: " + arg);
        }
    }
    if (positionals.empty()) {
        return Usage("MOVIE is required");
    }
    if (positionals.size() > 1) {
        return Usage("The following argument was not expected: " + positionals[1]);
    }
    options.movie = positionals.front();
    if (Outcome<> exclusive = CheckExclusions(options); !exclusive) {
        return exclusive.failure();
    }
    return options;
}

std::string DissectaOptions::HelpText() {
    return "dissecta: what is inside a SWF movie, and what it needs from outside\n"
           "Usage: dissecta [OPTIONS] MOVIE\n"
           "\n"
           "Positionals:\n"
           "  MOVIE TEXT REQUIRED         The SWF movie (FWS or CWS)\n"
           "\n"
           "Options:\n"
           "  -h,--help                   Print this help message and exit\n"
           "  --json Excludes: --html --app\n"
           "                              Write the report as JSON instead of text\n"
           "  --html TEXT Excludes: --json --app\n"
           "                              Write the report as a self-contained HTML page to "
           "this file instead\n"
           "  --app Excludes: --json --html\n"
           "                              As the application: write the HTML report to "
           "~/Documents/Dissecta/MOVIE.html and open it with the desktop's opener\n"
           "\n"
           "Exit status: 0 for a whole report, 3 when reading stopped part-way (the report says "
           "where), 1 when the file is no movie or the report cannot be written, 2 on a usage "
           "error.\n";
}
