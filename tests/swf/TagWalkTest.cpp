#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"

namespace {

class TagWalkTest : public ::testing::Test {
protected:
    void ParseAndWalk(const SwfWriter& movie) {
        ASSERT_TRUE(parser.ParseFileStructure(dir.Write("m.swf", movie.Cws()).c_str(), true));
        EXPECT_TRUE(parser.GetSWFInformation());
    }

    TempDir dir;
    CSWFBaseParse parser;
};

TEST_F(TagWalkTest, RecordsBackgroundProtectionAndTag41) {
    SwfWriter movie;
    movie.Tag(41, std::vector<uint8_t>(26, 1)).BackgroundColor(0x33, 0x66, 0x99).Tag(24, {});
    movie.ShowFrame().End();
    ParseAndWalk(movie);
    EXPECT_EQ(parser.m_backgroundColor, 0x00336699U);
    EXPECT_TRUE(parser.m_isProtected);
    EXPECT_TRUE(parser.m_hasTag41);
    EXPECT_EQ(parser.m_minVersion, 0);
    EXPECT_EQ(parser.m_pos, static_cast<int32_t>(parser.m_dataLength)); // stopped at End
}

TEST_F(TagWalkTest, StopsAtTheEndTagAndIgnoresWhatFollows) {
    SwfWriter movie;
    movie.End().BackgroundColor(1, 2, 3).Tag(24, {});
    ParseAndWalk(movie);
    EXPECT_EQ(parser.m_backgroundColor, 0U);
    EXPECT_FALSE(parser.m_isProtected);
}

TEST_F(TagWalkTest, RaisesTheLowestVersionFromTheCodesSeen) {
    SwfWriter movie;
    movie.Tag(69, {0, 0, 0, 0}).Tag(82, std::vector<uint8_t>(70, 0), true).ShowFrame().End();
    ParseAndWalk(movie);
    EXPECT_EQ(parser.m_minVersion, 9);
}

TEST_F(TagWalkTest, StopsWhenATagRunsPastTheData) {
    SwfWriter movie;
    movie.BackgroundColor(9, 9, 9).Tag(2, std::vector<uint8_t>(100, 7));
    std::vector<uint8_t> file = movie.End().Fws();
    file.resize(file.size() - 60); // cut inside the second tag, header length now lies
    std::vector<uint8_t> header = SwfWriter::Header('F', 10, static_cast<uint32_t>(file.size()));
    std::copy(header.begin(), header.end(), file.begin());
    ASSERT_TRUE(parser.ParseFileStructure(dir.Write("cut.swf", file).c_str(), true));
    EXPECT_TRUE(parser.GetSWFInformation());
    EXPECT_EQ(parser.m_backgroundColor, 0x090909U);
    EXPECT_EQ(parser.m_tagEnd, parser.m_dataLength);
}

TEST_F(TagWalkTest, FindingsOfEarlierWalksOnTheSameParserStay) {
    SwfWriter protectedMovie;
    protectedMovie.Tag(24, {}).BackgroundColor(1, 1, 1).End();
    ParseAndWalk(protectedMovie);
    ParseAndWalk(SwfWriter().End());
    EXPECT_TRUE(parser.m_isProtected);
    EXPECT_EQ(parser.m_backgroundColor, 0x010101U);
}

} // namespace
