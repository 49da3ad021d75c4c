#include <gtest/gtest.h>

#include "ImageLoader.h"

namespace {

class BitReaderTest : public ::testing::Test {
protected:
    void Load(const std::vector<uint8_t>& bytes) { LoadImage(parser, bytes); }
    int32_t Offset() const { return parser.m_pos - 8; }

    CSWFBaseParse parser;
};

TEST_F(BitReaderTest, BitsAreReadMostSignificantFirstAcrossBytes) {
    Load({0xB3, 0x40});
    EXPECT_EQ(parser.GetBits(0), 0U);
    EXPECT_EQ(Offset(), 0);
    EXPECT_EQ(parser.GetBits(5), 22U); // 10110
    EXPECT_EQ(parser.GetBits(4), 6U);  // 011 + 0
    EXPECT_EQ(Offset(), 2);
}

TEST_F(BitReaderTest, AlignedReadsDropTheRestOfAStartedByte) {
    Load({0xFF, 0x78, 0x56, 0x34, 0x12, 0x01, 0x02, 0x03});
    EXPECT_EQ(parser.GetBits(3), 7U);
    EXPECT_EQ(parser.GetDWord(), 0x12345678U);
    EXPECT_EQ(parser.GetColor(false), 0xFF010203U);
}

TEST_F(BitReaderTest, ColoursWithAndWithoutAlpha) {
    Load({0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(parser.GetColor(false), 0xFF123456U);
    EXPECT_EQ(Offset(), 3);
    EXPECT_EQ(parser.GetColor(true), 0x78123456U);
    EXPECT_EQ(Offset(), 7);
}

TEST_F(BitReaderTest, StringsPointIntoTheImage) {
    Load({'a', 'b', 0, 'c', 0});
    char const* first = parser.GetString();
    EXPECT_STREQ(first, "ab");
    EXPECT_EQ(first, reinterpret_cast<char const*>(parser.m_data + 8));
    EXPECT_EQ(Offset(), 3);
    EXPECT_STREQ(parser.GetString(), "c");
    EXPECT_EQ(Offset(), 5);
}

TEST_F(BitReaderTest, RectanglesAreSignedAndNormalised) {
    Load(SwfWriter::Rect(200, 100, -40, -80));
    SRECT rect{};
    parser.GetRect(&rect);
    EXPECT_EQ(rect.xmin, 100);
    EXPECT_EQ(rect.xmax, 200);
    EXPECT_EQ(rect.ymin, -80);
    EXPECT_EQ(rect.ymax, -40);

    Load({0x00, 0xAA}); // a zero-width rectangle takes one byte
    parser.GetRect(&rect);
    EXPECT_EQ(rect.xmin | rect.xmax | rect.ymin | rect.ymax, 0);
    EXPECT_EQ(Offset(), 1);
}

TEST_F(BitReaderTest, SignedFieldsExtendTheirTopBit) {
    // Three-bit fields 101 and 011: -3 and 3.
    Load(SwfWriter::Rect(-3, 3, -3, 3, 3));
    SRECT rect{};
    parser.GetRect(&rect);
    EXPECT_EQ(rect.xmin, -3);
    EXPECT_EQ(rect.xmax, 3);

    Load(SwfWriter::Rect(-(1 << 30), (1 << 30) - 1, 0, 0, 31));
    parser.GetRect(&rect);
    EXPECT_EQ(rect.xmin, -(1 << 30));
    EXPECT_EQ(rect.xmax, (1 << 30) - 1);
}

TEST_F(BitReaderTest, MatricesWithAndWithoutOptionalTerms) {
    MATRIX written{0x18000, -0x4000, 0x2000, -0x10000, -200, 4000};
    Load(SwfWriter::Matrix(written, true, true));
    MATRIX read{};
    parser.GetMatrix(&read);
    EXPECT_EQ(read.scaleX, written.scaleX);
    EXPECT_EQ(read.scaleY, written.scaleY);
    EXPECT_EQ(read.rotateSkew0, written.rotateSkew0);
    EXPECT_EQ(read.rotateSkew1, written.rotateSkew1);
    EXPECT_EQ(read.translateX, -200);
    EXPECT_EQ(read.translateY, 4000);

    Load(SwfWriter::Matrix(written, false, false));
    parser.GetMatrix(&read);
    EXPECT_EQ(read.scaleX, 0x10000);
    EXPECT_EQ(read.scaleY, 0x10000);
    EXPECT_EQ(read.rotateSkew0, 0);
    EXPECT_EQ(read.rotateSkew1, 0);
    EXPECT_EQ(read.translateX, -200);
    EXPECT_EQ(read.translateY, 4000);
}

TEST_F(BitReaderTest, ColourTransformsFillAbsentTermsWithIdentity) {
    CXFORM written{128, -20, 300, -5, 64, 7, -256, 100};
    CXFORM read{};

    Load(SwfWriter::Cxform(written, true, true, false));
    parser.GetCxform(&read, false);
    EXPECT_EQ(read.redMult, 300);
    EXPECT_EQ(read.greenMult, 64);
    EXPECT_EQ(read.blueMult, -256);
    EXPECT_EQ(read.redAdd, -5);
    EXPECT_EQ(read.greenAdd, 7);
    EXPECT_EQ(read.blueAdd, 100);
    EXPECT_EQ(read.alphaMult, 256);
    EXPECT_EQ(read.alphaAdd, 0);

    Load(SwfWriter::Cxform(written, true, true, true));
    parser.GetCxform(&read, true);
    EXPECT_EQ(read.alphaMult, 128);
    EXPECT_EQ(read.alphaAdd, -20);
    EXPECT_EQ(read.blueAdd, 100);

    Load(SwfWriter::Cxform(written, false, false, true));
    parser.GetCxform(&read, true);
    EXPECT_EQ(read.redMult, 256);
    EXPECT_EQ(read.greenMult, 256);
    EXPECT_EQ(read.blueMult, 256);
    EXPECT_EQ(read.alphaMult, 256);
    EXPECT_EQ(read.redAdd | read.greenAdd | read.blueAdd | read.alphaAdd, 0);
    EXPECT_EQ(Offset(), 1);
}

TEST_F(BitReaderTest, TagHeadersShortAndLong) {
    Load({0x43, 0x02, 1, 2, 3, 0x3F, 0x03, 0x05, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0, 0});
    EXPECT_EQ(parser.GetTag(), 9);
    EXPECT_EQ(parser.m_tagLength, 3);
    EXPECT_EQ(parser.m_tagEnd, 8U + 5);
    EXPECT_EQ(Offset(), 2);

    parser.m_pos = static_cast<int32_t>(parser.m_tagEnd);
    EXPECT_EQ(parser.GetTag(), 12);
    EXPECT_EQ(parser.m_tagLength, 5);
    EXPECT_EQ(parser.m_tagStart, 8 + 5);
    EXPECT_EQ(parser.m_tagEnd, 8U + 5 + 6 + 5);
    EXPECT_EQ(parser.m_savedTagSize, 11);
}

TEST_F(BitReaderTest, TagRunningPastTheDataIsTheEnd) {
    Load({0x7F, 0x02, 0xFF, 0xFF, 0, 0}); // code 9, long form claiming far more than there is
    parser.m_dataLength = 100;
    parser.m_pos = 8;
    EXPECT_EQ(parser.GetTag(), 0);
    EXPECT_EQ(parser.m_tagEnd, 100U);

    // A 32-bit length that wraps the position round must not sneak back inside the data.
    Load({0xFF, 0x02, 0xFF, 0xFF, 0xFF, 0xFF});
    parser.m_dataLength = 1000;
    EXPECT_EQ(parser.GetTag(), 0);
    EXPECT_EQ(parser.m_tagEnd, 1000U);
}

TEST_F(BitReaderTest, LowestVersionEstimateOnlyRises) {
    Load(std::vector<uint8_t>(64, 0));
    auto tagWithCode = [&](uint16_t code) {
        parser.m_data[8] = static_cast<uint8_t>(code << 6);
        parser.m_data[9] = static_cast<uint8_t>(code >> 2);
        parser.m_pos = 8;
        return parser.GetTag();
    };
    const std::pair<uint16_t, uint8_t> steps[] = {{56, 0},  {57, 6},  {69, 8}, {76, 9},
                                                  {90, 10}, {57, 10}, {95, 10}};
    for (auto [code, expected] : steps) {
        EXPECT_EQ(tagWithCode(code), code);
        EXPECT_EQ(parser.m_minVersion, expected) << "after code " << code;
    }
    parser.m_minVersion = 0;
    tagWithCode(82);
    EXPECT_EQ(parser.m_minVersion, 9);
    parser.m_minVersion = 0;
    tagWithCode(95);
    EXPECT_EQ(parser.m_minVersion, 0);
}

TEST_F(BitReaderTest, SaveTagRecordsTheCurrentTag) {
    Load({0x43, 0x02, 1, 2, 3, 0, 0});
    parser.GetTag();
    parser.m_savedTagStart = parser.m_savedTagSize = -1;
    int counter = 4;
    parser.SaveTag(counter, nullptr, nullptr);
    EXPECT_EQ(counter, 5);
    EXPECT_EQ(parser.m_savedTagStart, 8);
    EXPECT_EQ(parser.m_savedTagSize, 5);
}

TEST_F(BitReaderTest, ReadsOutsideTheImageYieldZeros) {
    Load({0x41, 0x42});
    auto held = static_cast<int32_t>(parser.HeldBytes());
    parser.m_pos = held - 2;
    EXPECT_EQ(parser.GetDWord(), 0U);
    parser.m_pos = held;
    EXPECT_STREQ(parser.GetString(), "");
    EXPECT_EQ(parser.m_pos, held + 1);
    parser.m_pos = -5;
    EXPECT_EQ(parser.GetColor(true), 0U);
    parser.m_pos = 0x7FFFFFFF;
    EXPECT_EQ(parser.GetBits(31), 0U);
    SRECT rect{};
    parser.GetRect(&rect);
    EXPECT_EQ(rect.xmax, 0);
}

TEST(BitReaderWithoutImage, ReadsZerosAndStops) {
    CSWFBaseParse parser;
    EXPECT_EQ(parser.GetDWord(), 0U);
    EXPECT_STREQ(parser.GetString(), "");
    EXPECT_EQ(parser.GetTag(), 0);
    EXPECT_TRUE(parser.GetSWFInformation());
}

} // namespace
