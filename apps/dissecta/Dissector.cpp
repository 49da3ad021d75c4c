#include "Dissector.h"

#include <algorithm>

#include "swf/MovieBytes.h"
#include "swf/MovieReferences.h"
#include "swf/SWFBaseParse.h"
#include "swf/TagCode.h"

using namespace MovieBytes;

namespace {

std::string Where(const Dissection::Tag& tag) {
    return std::string(tag.name) + " at " + OffsetText(tag.offset);
}

// Counts a tag under its kind in the summary.
void Count(TagCode code, Dissection::Summary& summary) {
    switch (code) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4:
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
        ++summary.shapes;
        break;
    case TagCode::DefineBits:
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsJPEG2:
    case TagCode::DefineBitsJPEG3:
    case TagCode::DefineBitsLossless2:
    case TagCode::DefineBitsJPEG4:
        ++summary.bitmaps;
        break;
    case TagCode::DefineSound:
        ++summary.sounds;
        break;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3:
    case TagCode::DefineFont4:
        ++summary.fonts;
        break;
    case TagCode::DefineText:
    case TagCode::DefineText2:
    case TagCode::DefineEditText:
        ++summary.texts;
        break;
    case TagCode::DefineSprite:
        ++summary.sprites;
        break;
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
        ++summary.buttons;
        break;
    default:
        break;
    }
}

class TagWalk {
public:
    TagWalk(CSWFBaseParse& parser, Dissection& dissection)
        : m_parser(parser), m_dissection(dissection),
          m_sink(Dissector::kMostReferences, Dissector::kMostReferenceBytes) {}

    // Hands what the walk found outside the tag list to the dissection.
    void Finish() {
        m_dissection.references = m_sink.TakeKept();
        m_dissection.referencesLeftOut = m_sink.LeftOut();
    }

    // The tags in [position, end), at `depth`; false once reading had to stop.
    bool Tags(uint32_t end, int depth) {
        for (;;) {
            const uint32_t at = Position(m_parser);
            if (uint64_t{at} + 2 > end) {
                return depth > 0 || Stop(at, "the movie ends without an End tag");
            }
            if (m_dissection.tags.size() >= Dissector::kMostTags) {
                return Stop(at, "more than " + std::to_string(Dissector::kMostTags) +
                                    " tags: the list stops here");
            }
            // The code as written: the parser reads a tag that runs past the movie as its end.
            const auto declared = static_cast<uint16_t>(Word(m_parser) >> 6);
            MoveTo(m_parser, at);
            m_parser.GetTag();
            const uint32_t bodyStart = Position(m_parser);
            const auto length = static_cast<uint32_t>(m_parser.m_tagLength);
            const uint64_t bodyEnd = uint64_t{bodyStart} + length;
            const Dissection::Tag tag{at, declared, TagName(declared), length, depth};
            m_dissection.tags.push_back(tag);
            if (bodyEnd > end) {
                return Stop(at, Where(tag) + " claims " + std::to_string(length) +
                                    " bytes, past the end of " +
                                    (depth == 0 ? "the movie at " : "its sprite at ") +
                                    OffsetText(end));
            }
            const auto code = static_cast<TagCode>(declared);
            if (code == TagCode::End) {
                return true;
            }
            Count(code, m_dissection.summary);
            if (code == TagCode::ShowFrame && depth == 0) {
                ++m_dissection.summary.frames;
            }
            if (!Inside(tag, bodyStart, static_cast<uint32_t>(bodyEnd))) {
                return false;
            }
            MoveTo(m_parser, bodyEnd);
        }
    }

private:
    bool Stop(uint32_t at, std::string reason) {
        m_dissection.stoppedAt = Dissection::Stop{at, std::move(reason)};
        return false;
    }

    // What a tag holds that the report needs: a sprite's own tags, bytecode, imported movies.
    bool Inside(const Dissection::Tag& tag, uint32_t start, uint32_t end) {
        Dissection::Summary& summary = m_dissection.summary;
        const auto code = static_cast<TagCode>(tag.code);
        switch (code) {
        case TagCode::DefineSprite:
            if (tag.depth + 1 > Dissector::kDeepestSprite) {
                return Stop(tag.offset, "sprites nested deeper than " +
                                            std::to_string(Dissector::kDeepestSprite));
            }
            MoveTo(m_parser, uint64_t{start} + 4); // its id and frame count
            return Tags(end, tag.depth + 1);
        default: {
            const TagReferences::Found found = m_references.Scan(code, start, end, Where(tag));
            summary.hasAVM1 |= found.avm1;
            summary.hasAVM2 |= found.avm2;
            break;
        }
        }
        return true;
    }

    CSWFBaseParse& m_parser;
    Dissection& m_dissection;
    ReferenceSink m_sink;
    TagReferences m_references{m_parser, m_sink};
};

} // namespace

Dissection Dissector::Dissect(const std::string& path) {
    Dissection dissection;
    CSWFBaseParse parser;
    if (!parser.ParseFileStructure(path.c_str(), true)) {
        dissection.facts.path = path;
        dissection.facts.error = parser.FailureReason();
        return dissection;
    }
    const uint32_t firstTag = Position(parser);
    dissection.facts = FactsOf(path, parser, true);
    MoveTo(parser, firstTag);
    TagWalk walk(parser, dissection);
    walk.Tags(MovieEnd(parser), 0);
    walk.Finish();
    dissection.summary.minVersion = parser.m_minVersion;
    return dissection;
}
