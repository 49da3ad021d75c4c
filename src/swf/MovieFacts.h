#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "swf/SWFInfoText.h"

class CSWFBaseParse;

// What the tag walk adds to the header facts.
struct TagFacts {
    uint32_t backgroundColor = 0;
    bool isProtected = false;
    bool hasTag41 = false;
    int minVersion = 0;
};

// What one file yielded: the failure reason, or the parser's facts and the window's texts.
struct MovieFacts {
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
    // As `swfharvex info --json` and dissecta's JSON report write them.
    nlohmann::json ToJson() const;
    // As `swfharvex info` and dissecta's text report write them.
    void WriteText(std::ostream& out) const;
};

// The facts of a movie `parser` has already read: its header, and with `withTags` what
// GetSWFInformation finds from the parser's position on.
MovieFacts FactsOf(const std::string& path, CSWFBaseParse& parser, bool withTags);

// "#RRGGBB", as the background colour is shown.
std::string ColorText(uint32_t rgb);
