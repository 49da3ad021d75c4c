#pragma once

#include <ostream>
#include <string>
#include <vector>

// `dissecta`: what is inside one movie and what it needs from outside, as text, JSON or a
// self-contained HTML page. Started as an application (by the launcher, with the movie's path)
// it writes the page into the reports folder and opens it with the desktop's opener.
class DissectaCommand {
public:
    enum ExitStatus { kWhole = 0, kFailed = 1, kUsageError = 2, kPartial = 3 };

    // `args` without the program name.
    static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    // Where an application start writes its report for `moviePath`:
    // ~/Documents/Dissecta/<movie's file name>.html.
    static std::string ReportPathFor(const std::string& moviePath);
};
