#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CSWFBaseParse;

// The six facts of the information panel, as texts. The captured-SWF window and `swfharvex info`
// both show a movie through this one formatter, so they can never disagree.
struct SWFInfoText {
    std::string name;        // shortened name without its extension
    std::string nameToolTip; // the whole name without its extension
    std::string size;        // "12 KB"
    std::string version;     // "10"
    std::string frameSize;   // "550*400px"
    std::string frameRate;   // "24", the whole frames per second
    std::string frameCount;  // "100"

    // `swfName` is the movie's file name; `parser` holds a successfully parsed header.
    static SWFInfoText From(std::string_view swfName, const CSWFBaseParse& parser);

    static std::string NameWithoutExtension(std::string_view swfName);
    // Names longer than 21 bytes become their first 18 bytes and "...".
    static std::string ShortName(std::string_view nameWithoutExtension);
    static std::string SizeText(uint32_t fileLength);
    static std::string FrameSizeText(int32_t width, int32_t height);
};
