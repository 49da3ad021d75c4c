#pragma once

#include <ostream>
#include <string>
#include <vector>

// swfmovie DESCRIPTION.json -o OUT.swf: writes the movie a JSON description gives (see
// MovieDescriptionReader.h). Exit status 0 on success, 1 when the description or the output
// fails (reported as "swfmovie: FILE: REASON"), 2 on a usage error. On failure OUT is left as
// it was: created only when the whole movie is written.
class SwfMovieCommand {
public:
    static constexpr int kFailed = 1;
    static constexpr int kUsageError = 2;

    // `args` without the program name.
    static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};
