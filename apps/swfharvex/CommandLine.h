#pragma once

#include <ostream>
#include <string>
#include <vector>

// Parses the `swfharvex` command line and runs the chosen subcommand.
class CommandLine {
public:
    enum ExitStatus { kUsageError = 2 };

    // `args` excludes the program name. Returns the process exit status.
    static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};
