#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "swf/BytecodeReferences.h"
#include "swf/TagCode.h"

class CSWFBaseParse;

// An offset in a movie as reports show it: "0x0000ABCD".
std::string OffsetText(uint32_t offset);

// What one tag names from outside: the old and the new virtual machine's addresses, a button's
// actions, the movie an ImportAssets tag imports. A sprite's tags are tags of their own: the
// caller walks them.
class TagReferences {
public:
    struct Found {
        bool avm1 = false; // the tag held actions of the old virtual machine
        bool avm2 = false; // ... or bytecode of the new one
    };

    TagReferences(CSWFBaseParse& parser, ReferenceSink& sink) : m_parser(parser), m_sink(sink) {}

    // Reads the body [start, end) of a tag of kind `code`; `where` names the tag.
    Found Scan(TagCode code, uint32_t start, uint32_t end, const std::string& where);

private:
    bool ButtonActions(uint32_t start, uint32_t end, const std::string& where);
    bool Button2Actions(uint32_t start, uint32_t end, const std::string& where);

    CSWFBaseParse& m_parser;
    ReferenceSink& m_sink;
};

// Every reference of a movie, its sprites' included, in the order the tags hold them.
struct MovieReferences {
    std::vector<MovieReference> kept;
    size_t leftOut = 0; // past the bounds: counted only
    std::string error;  // why the movie could not be read at all ("" when it was)
};

// Reads the movie in `path`, keeping at most `most` references of `mostBytes` in all. A movie
// that turns hostile part-way gives what was read up to there.
MovieReferences ReadMovieReferences(const std::string& path, size_t most, size_t mostBytes);
