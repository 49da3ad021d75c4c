#pragma once

#include <string>
#include <vector>

// Runs a built program to completion with HOME pointed at `home` and its standard output and
// error captured, the way a user or the build would run it.
class ToolRun {
public:
    ToolRun(const std::string& program, const std::vector<std::string>& args,
            const std::string& home);

    // The exit status, or -1 when the program did not exit normally (or could not start).
    int status = -1;
    std::string out;
    std::string err;
};
