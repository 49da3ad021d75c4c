#include "swf/MovieFacts.h"

#include <sstream>

#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"
#include "swf/TagCode.h"

// The header facts always; the tag walk's only when asked for, from where the parser stands.
TEST(MovieFactsTest, HeaderFactsAndTheTagWalkOnRequest) {
    const TempDir folder;
    const std::string path = folder / "movie.swf";
    SwfWriter movie;
    movie.Version(7).FrameSizePixels(320, 240).FrameCount(3);
    movie.BackgroundColor(0x33, 0x66, 0x99).Tag(TagCode::Protect, {}).End();
    SwfWriter::WriteFile(path, movie.Cws());

    for (const bool withTags : {false, true}) {
        CSWFBaseParse parser;
        ASSERT_TRUE(parser.ParseFileStructure(path.c_str(), true)) << parser.FailureReason();
        const MovieFacts facts = FactsOf(path, parser, withTags);
        EXPECT_TRUE(facts.Ok());
        EXPECT_EQ(facts.version, 7);
        EXPECT_EQ(facts.frameWidth, 320);
        EXPECT_EQ(facts.frameCount, 3);
        EXPECT_TRUE(facts.compressed);
        EXPECT_EQ(facts.text.name, "movie");
        ASSERT_EQ(facts.tags.has_value(), withTags);
        if (withTags) {
            EXPECT_EQ(facts.tags->backgroundColor, 0x336699U);
            EXPECT_TRUE(facts.tags->isProtected);
            EXPECT_FALSE(facts.tags->hasTag41);
            EXPECT_EQ(facts.ToJson().at("backgroundColor"), "#336699");
        } else {
            EXPECT_FALSE(facts.ToJson().contains("backgroundColor"));
        }
    }
}

TEST(MovieFactsTest, AFailureCarriesOnlyThePathAndTheReason) {
    MovieFacts failed;
    failed.path = "a.swf";
    failed.error = "not a SWF file";
    EXPECT_EQ(failed.ToJson(),
              (nlohmann::json{{"path", "a.swf"}, {"ok", false}, {"error", "not a SWF file"}}));
}

TEST(MovieFactsTest, ColourTextIsSixUpperCaseDigits) {
    EXPECT_EQ(ColorText(0x336699), "#336699");
    EXPECT_EQ(ColorText(0xABCDEF), "#ABCDEF");
    EXPECT_EQ(ColorText(0), "#000000");
    EXPECT_EQ(ColorText(0xFF123456), "#123456") << "only the colour's own 24 bits";
}
