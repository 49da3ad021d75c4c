#include "swf/SWFInfoText.h"

#include <gtest/gtest.h>

#include "swf/SWFBaseParse.h"

namespace {

TEST(SWFInfoTextTest, SizeTextSteps) {
    const std::pair<uint32_t, const char*>
        cases[] =
            {
                {0, "0 Bytes"},          {1024, "1024 Bytes"}, {1025, "1 KB"},
                {1048576, "1024 KB"},    {1048577, "1 MB"},    {5000000, "4 MB"},
                {0xFFFFFFFF, "4095 MB"}, // a length past 2 GB is still a size, never negative
            };
    for (auto [length, text] : cases) {
        EXPECT_EQ(SWFInfoText::SizeText(length), text) << length;
    }
}

TEST(SWFInfoTextTest, NameLosesOnlyItsLastExtensionAndLongNamesAreCut) {
    EXPECT_EQ(SWFInfoText::NameWithoutExtension("intro.v2.swf"), "intro.v2");
    EXPECT_EQ(SWFInfoText::NameWithoutExtension("noextension"), "noextension");
    EXPECT_EQ(SWFInfoText::ShortName("abcdefghijklmnopqrstu"), "abcdefghijklmnopqrstu");
    EXPECT_EQ(SWFInfoText::ShortName("abcdefghijklmnopqrstuv"), "abcdefghijklmnopqr...");
    // "é" is two bytes; the cut at 18 bytes would split the one at bytes 17-18.
    EXPECT_EQ(SWFInfoText::ShortName("abcdefghijklmnopq\xC3\xA9xyzw"), "abcdefghijklmnopq...");
}

TEST(SWFInfoTextTest, FactsAsTheWindowShowsThem) {
    CSWFBaseParse parser;
    parser.m_fileLength = 5000000;
    parser.m_version = 8;
    parser.m_frameWidth = 550;
    parser.m_frameHeight = 400;
    parser.m_frameRate = 29.97F;
    parser.m_frameCount = 120;
    SWFInfoText text = SWFInfoText::From("a very long movie name indeed.swf", parser);
    EXPECT_EQ(text.name, "a very long movie ...");
    EXPECT_EQ(text.nameToolTip, "a very long movie name indeed");
    EXPECT_EQ(text.size, "4 MB");
    EXPECT_EQ(text.version, "8");
    EXPECT_EQ(text.frameSize, "550*400px");
    EXPECT_EQ(text.frameRate, "29");
    EXPECT_EQ(text.frameCount, "120");

    parser.m_frameRate = 0.5F;
    EXPECT_EQ(SWFInfoText::From("x.swf", parser).frameRate, "0");
}

} // namespace
