#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "swf/SWFInfoText.h"

class CSWFBaseParse;

// `swfharvex info`: the header facts of SWF files, as the captured-SWF window shows them.
class InfoCommand {
public:
    enum ExitStatus { kAllParsed = 0, kSomeFailed = 1 };

    struct Options {
        bool json = false;
        bool tags = false;
        std::vector<std::string> files;
    };

    struct TagFacts {
        uint32_t backgroundColor = 0;
        bool isProtected = false;
        bool hasTag41 = false;
        int minVersion = 0;
    };

    // What one file yielded: the failure reason, or the parser's facts and the window's texts.
    struct Facts {
        std::string path;
        std::string error; // empty when the file parsed
        int version = 0;
        uint32_t fileLength = 0;
        int32_t frameWidth = 0;
        int32_t frameHeight = 0;
        double frameRate = 0;
        int32_t frameCount = 0;
        bool compressed = false;
        SWFInfoText text;
        std::optional<TagFacts> tags;

        bool Ok() const { return error.empty(); }
        nlohmann::json ToJson() const;
        void WriteText(std::ostream& out) const;
    };

    explicit InfoCommand(Options options) : m_options(std::move(options)) {}

    // Writes the report to `out`, failures (in text mode) to `err`; returns the exit status.
    int Run(std::ostream& out, std::ostream& err) const;

    static Facts Inspect(const std::string& path, bool withTags);
    // The facts of a movie `parser` has already read: its header, and with `withTags` what
    // GetSWFInformation finds from the parser's position on.
    static Facts FactsOf(const std::string& path, CSWFBaseParse& parser, bool withTags);
    // "#RRGGBB", as the background colour is shown.
    static std::string ColorText(uint32_t rgb);

private:
    Options m_options;
};
