#include "swf/MovieReferences.h"

#include <algorithm>
#include <cstdio>

#include "swf/MovieBytes.h"
#include "swf/SWFBaseParse.h"

using namespace MovieBytes;

namespace {

// Bounds that keep a hostile movie's walk short: real movies hold far fewer tags and nest
// sprites a few levels deep.
constexpr size_t kMostTags = 1'000'000;
constexpr int kDeepestSprite = 64;

class ReferenceWalk {
public:
    ReferenceWalk(CSWFBaseParse& parser, ReferenceSink& sink)
        : m_parser(parser), m_references(parser, sink) {}

    // The tags in [position, end); stops at an End tag, a tag that runs past `end`, or a bound.
    void Tags(uint32_t end, int depth) {
        for (;;) {
            const uint32_t at = Position(m_parser);
            if (uint64_t{at} + 2 > end || ++m_tags > kMostTags) {
                return;
            }
            const auto code = static_cast<TagCode>(Word(m_parser) >> 6);
            MoveTo(m_parser, at);
            m_parser.GetTag();
            const uint32_t start = Position(m_parser);
            const uint64_t tagEnd = uint64_t{start} + static_cast<uint32_t>(m_parser.m_tagLength);
            if (code == TagCode::End || tagEnd > end) {
                return;
            }
            const auto bodyEnd = static_cast<uint32_t>(tagEnd);
            if (code == TagCode::DefineSprite) {
                if (depth + 1 <= kDeepestSprite) {
                    MoveTo(m_parser, uint64_t{start} + 4); // its id and frame count
                    Tags(bodyEnd, depth + 1);
                }
            } else {
                m_references.Scan(code, start, bodyEnd,
                                  std::string(TagName(code)) + " at " + OffsetText(at));
            }
            MoveTo(m_parser, tagEnd);
        }
    }

private:
    CSWFBaseParse& m_parser;
    TagReferences m_references;
    size_t m_tags = 0;
};

} // namespace

std::string OffsetText(uint32_t offset) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", offset);
    return text;
}

TagReferences::Found TagReferences::Scan(TagCode code, uint32_t start, uint32_t end,
                                         const std::string& where) {
    Found found;
    switch (code) {
    case TagCode::DoAction:
        found.avm1 = ScanActions(m_parser, start, end, where, m_sink);
        break;
    case TagCode::DoInitAction:
        found.avm1 = ScanActions(m_parser, start + 2, end, where, m_sink);
        break;
    case TagCode::DefineButton:
        found.avm1 = ButtonActions(start, end, where);
        break;
    case TagCode::DefineButton2:
        found.avm1 = Button2Actions(start, end, where);
        break;
    case TagCode::ImportAssets:
    case TagCode::ImportAssets2: {
        MoveTo(m_parser, start);
        std::string url = String(m_parser, end);
        if (!url.empty()) {
            m_sink.Add(std::move(url), where + ": imported assets");
        }
        break;
    }
    case TagCode::DoABC:
    case TagCode::DoABCDefine: {
        found.avm2 = true;
        uint32_t abc = start;
        if (code == TagCode::DoABC) {
            MoveTo(m_parser, uint64_t{start} + 4); // its flags
            String(m_parser, end);                 // and its name
            abc = Position(m_parser);
        }
        // A cut table only loses the strings after the cut.
        if (abc < end) {
            ScanAbcStrings(m_parser, abc, end, where, m_sink);
        }
        break;
    }
    default:
        break;
    }
    return found;
}

// The first button form: its character records, then one list of actions.
bool TagReferences::ButtonActions(uint32_t start, uint32_t end, const std::string& where) {
    MoveTo(m_parser, uint64_t{start} + 2);
    while (Position(m_parser) < end && Byte(m_parser) != 0) {
        Word(m_parser); // character
        Word(m_parser); // depth
        MATRIX matrix{};
        m_parser.GetMatrix(&matrix);
    }
    return Position(m_parser) < end &&
           ScanActions(m_parser, Position(m_parser), end, where, m_sink);
}

// The second form: an offset to a chain of conditional action lists.
bool TagReferences::Button2Actions(uint32_t start, uint32_t end, const std::string& where) {
    MoveTo(m_parser, uint64_t{start} + 3); // its id and flags
    const uint32_t offsetAt = Position(m_parser);
    const uint16_t offset = Word(m_parser);
    bool any = false;
    uint64_t next = offset == 0 ? end : uint64_t{offsetAt} + offset;
    while (next + 4 <= end) {
        MoveTo(m_parser, next);
        const uint16_t size = Word(m_parser);
        Word(m_parser); // conditions
        const uint64_t listEnd = size == 0 ? end : std::min<uint64_t>(next + size, end);
        any |= ScanActions(m_parser, Position(m_parser), static_cast<uint32_t>(listEnd), where,
                           m_sink);
        if (size == 0) {
            break;
        }
        next += size;
    }
    return any;
}

MovieReferences ReadMovieReferences(const std::string& path, size_t most, size_t mostBytes) {
    MovieReferences result;
    CSWFBaseParse parser;
    if (!parser.ParseFileStructure(path.c_str(), true)) {
        result.error = parser.FailureReason();
        return result;
    }
    ReferenceSink sink(most, mostBytes);
    ReferenceWalk(parser, sink).Tags(MovieEnd(parser), 0);
    result.leftOut = sink.LeftOut();
    result.kept = sink.TakeKept();
    return result;
}
