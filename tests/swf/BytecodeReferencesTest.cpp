#include "swf/BytecodeReferences.h"

#include <utility>

#include <gtest/gtest.h>

#include "PlantedMovie.h"
#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"
#include "swf/TagCode.h"

using namespace Planted;

namespace {

using Found = std::vector<std::pair<std::string, std::string>>;

Found Pairs(const std::vector<MovieReference>& references) {
    Found found;
    for (const MovieReference& reference : references) {
        found.emplace_back(reference.text, reference.where);
    }
    return found;
}

// Writes a movie whose one tag holds `body`, reads it and hands `scan` the body's bounds.
template <typename Scan>
Found ScanTagBody(TagCode code, const Bytes& body, Scan scan, bool* answer = nullptr) {
    const TempDir folder;
    const std::string path = folder / "movie.swf";
    SwfWriter::WriteFile(path, Movie(Tag(CodeOf(code), body)));
    CSWFBaseParse parser;
    EXPECT_TRUE(parser.ParseFileStructure(path.c_str(), true)) << parser.FailureReason();
    parser.GetTag();
    ReferenceSink sink(100, 1 << 20);
    const bool scanned = scan(parser, static_cast<uint32_t>(parser.m_pos), parser.m_tagEnd, sink);
    if (answer != nullptr) {
        *answer = scanned;
    }
    return Pairs(sink.Kept());
}

} // namespace

TEST(BytecodeReferencesTest, WhatLooksLikeAReference) {
    const std::pair<const char*, bool> cases[] = {
        {"http://a", true},
        {"HTTPS://cdn.example/x", true},
        {"rtmp://media/stream", true},
        {"file:///tmp/a", true},
        {"http://", false},
        {"a.swf", true},
        {"movies/Intro.SWF", true},
        {"data.xml?v=2#top", true},
        {"page.html", false},
        {".swf", false},
        {"a\x01b.swf", false},
        {"plain words", false},
    };
    for (const auto& [text, looks] : cases) {
        EXPECT_EQ(LooksLikeReference(text), looks) << text;
    }
    EXPECT_FALSE(LooksLikeReference(std::string(3000, 'a') + ".swf")) << "longer than any URL";
}

// The old virtual machine: each way an action names an address, and where the scan must stop.
TEST(BytecodeReferencesTest, ActionsGiveTheAddressesTheyLoad) {
    const Bytes pool = Action(0x88, Word(2) + Text("lib/a.swf") + Text("_root"));
    const struct {
        const char* name;
        Bytes actions;
        Found found;
    } cases[] = {
        {"GetURL names its target",
         Action(0x83, Text("http://a.example/") + Text("_blank")) + Bytes{0},
         {{"http://a.example/", "T: getURL into _blank"}}},
        {"a pushed address and a constant target make a loadMovie",
         pool + Action(0x96, Bytes{8, 0} + Bytes{8, 1}) + Action(0x9A, {0x40}) + Bytes{0},
         {{"lib/a.swf", "T: constant pool"}, {"lib/a.swf", "T: loadMovie"}}},
        {"pushed strings with the variables flag make a loadVariables",
         Action(0x96, Bytes{0} + Text("vars.txt") + Bytes{0} + Text("")) + Action(0x9A, {0x80}) +
             Bytes{0},
         {{"vars.txt", "T: loadVariables"}}},
        {"another action between the push and GetURL2 forgets the stack",
         Action(0x96, Bytes{0} + Text("x.swf") + Bytes{0} + Text("")) + Action(0x17) +
             Action(0x9A, {0}) + Bytes{0},
         {}},
        {"a record longer than its tag ends the scan",
         Action(0x83, Text("http://b.example/") + Text("")) + Bytes{0x83, 0xFF, 0x00} +
             Text("http://c.example/"),
         {{"http://b.example/", "T: getURL"}}},
    };
    for (const auto& each : cases) {
        bool any = false;
        const Found found = ScanTagBody(
            TagCode::DoAction, each.actions,
            [](CSWFBaseParse& parser, uint32_t start, uint32_t end, ReferenceSink& sink) {
                return ScanActions(parser, start, end, "T", sink);
            },
            &any);
        EXPECT_EQ(found, each.found) << each.name;
        EXPECT_TRUE(any) << each.name;
    }
}

// The new virtual machine: the string table's references, and a table cut short.
TEST(BytecodeReferencesTest, TheStringTableGivesItsReferencesUpToItsEnd) {
    const Bytes versions = Word(16) + Word(46);
    const Bytes pools = U30(0) + U30(0) + U30(2) + Bytes(8, 0); // no ints, one double
    const auto String = [](const std::string& text) {
        return U30(static_cast<uint32_t>(text.size())) + Bytes(text.begin(), text.end());
    };
    const auto scan = [](CSWFBaseParse& parser, uint32_t start, uint32_t end, ReferenceSink& sink) {
        return ScanAbcStrings(parser, start, end, "T", sink);
    };
    bool whole = false;
    EXPECT_EQ(ScanTagBody(TagCode::DoABCDefine,
                          versions + pools + U30(4) + String("lib.swf") + String("hello") +
                              String("http://cdn.example/"),
                          scan, &whole),
              (Found{{"lib.swf", "T: string table"}, {"http://cdn.example/", "T: string table"}}));
    EXPECT_TRUE(whole);
    bool cut = true;
    EXPECT_EQ(ScanTagBody(TagCode::DoABCDefine,
                          versions + pools + U30(3) + String("lib.swf") + U30(200) + Bytes(5, 'a'),
                          scan, &cut),
              (Found{{"lib.swf", "T: string table"}}));
    EXPECT_FALSE(cut);
}

// What a report keeps is bounded by count and by bytes; the rest is counted.
TEST(BytecodeReferencesTest, TheSinkKeepsWithinItsBoundsAndCountsTheRest) {
    ReferenceSink byCount(2, 1 << 20);
    ReferenceSink byBytes(100, 10);
    for (const char* text : {"a.swf", "b.swf", "c.swf"}) {
        byCount.Add(text, "w");
        byBytes.Add(text, "w"); // six bytes each: only the first fits in ten
    }
    EXPECT_EQ(Pairs(byCount.Kept()), (Found{{"a.swf", "w"}, {"b.swf", "w"}}));
    EXPECT_EQ(byCount.LeftOut(), 1U);
    EXPECT_EQ(Pairs(byBytes.Kept()), (Found{{"a.swf", "w"}}));
    EXPECT_EQ(byBytes.LeftOut(), 2U);
    EXPECT_EQ(byCount.TakeKept().size(), 2U);
    EXPECT_TRUE(byCount.Kept().empty());
}
