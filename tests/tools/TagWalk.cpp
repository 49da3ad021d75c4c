#include "TagWalk.h"

#include <algorithm>

TagWalk::TagWalk(CSWFBaseParse& parser) {
    // ParseFileStructure leaves the position on the first tag.
    for (;;) {
        uint16_t code = parser.GetTag();
        m_tags.push_back({code, static_cast<uint32_t>(parser.m_pos), parser.m_tagEnd});
        parser.m_pos = static_cast<int32_t>(parser.m_tagEnd);
        if (code == 0) {
            return;
        }
    }
}

std::vector<uint16_t> TagWalk::Codes() const {
    std::vector<uint16_t> codes;
    for (const Tag& tag : m_tags) {
        codes.push_back(tag.code);
    }
    return codes;
}

size_t TagWalk::Count(uint16_t code) const {
    return static_cast<size_t>(std::count_if(m_tags.begin(), m_tags.end(),
                                             [code](const Tag& tag) { return tag.code == code; }));
}
