#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "swf/MovieFacts.h"

// `swfharvex info`: the header facts of SWF files, as the captured-SWF window shows them.
class InfoCommand {
public:
    enum ExitStatus { kAllParsed = 0, kSomeFailed = 1 };

    struct Options {
        bool json = false;
        bool tags = false;
        std::vector<std::string> files;
    };

    explicit InfoCommand(Options options) : m_options(std::move(options)) {}

    // Writes the report to `out`, failures (in text mode) to `err`; returns the exit status.
    int Run(std::ostream& out, std::ostream& err) const;

    // A fresh parser's facts of the file at `path`.
    static MovieFacts Inspect(const std::string& path, bool withTags);

private:
    Options m_options;
};
