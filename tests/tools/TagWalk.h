#pragma once

#include <cstdint>
#include <vector>

#include "swf/SWFBaseParse.h"

// The tags of a movie the parser has just opened, walked with the parser's own tag reader.
class TagWalk {
public:
    struct Tag {
        uint16_t code;
        uint32_t bodyStart; // where the tag's data begins
        uint32_t end;       // just past its data
    };

    // Walks from the first tag up to and including End (or where the data runs out).
    explicit TagWalk(CSWFBaseParse& parser);

    const std::vector<Tag>& Tags() const { return m_tags; }
    std::vector<uint16_t> Codes() const;
    size_t Count(uint16_t code) const;

private:
    std::vector<Tag> m_tags;
};
