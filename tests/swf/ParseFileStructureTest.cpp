#include <cstring>

#include <gtest/gtest.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/CSWFParser.h"

namespace {

class ParseFileStructureTest : public ::testing::Test {
protected:
    bool Parse(const std::vector<uint8_t>& file) {
        return parser.ParseFileStructure(dir.Write("movie.swf", file).c_str(), true);
    }

    TempDir dir;
    CSWFBaseParse parser;
};

TEST_F(ParseFileStructureTest, RefusesWhatIsNoMovieWithItsReason) {
    std::vector<uint8_t> good = SwfWriter().Fws();

    EXPECT_FALSE(Parse(std::vector<uint8_t>(good.begin(), good.begin() + 7)));
    EXPECT_EQ(parser.FailureReason(), "shorter than a header");

    std::vector<uint8_t> wrong = good;
    wrong[0] = 'Z';
    EXPECT_FALSE(Parse(wrong));
    EXPECT_EQ(parser.FailureReason(), "not a SWF file");

    EXPECT_FALSE(Parse(SwfWriter().LengthField(20).Fws()));
    EXPECT_EQ(parser.FailureReason(), "length field too small (20 bytes)");
    EXPECT_TRUE(Parse(SwfWriter().LengthField(21).Fws()));
    EXPECT_EQ(parser.FailureReason(), "");

    EXPECT_FALSE(parser.ParseFileStructure((dir / "missing.swf").c_str(), true));
    EXPECT_EQ(parser.FailureReason(), "cannot open: No such file or directory");

    EXPECT_FALSE(parser.ParseFileStructure(dir.Path().c_str(), true));
    EXPECT_EQ(parser.FailureReason(), "not a regular file (a folder)");
}

TEST_F(ParseFileStructureTest, HeaderFactsOfAPlainMovie) {
    ASSERT_TRUE(Parse(SwfWriter()
                          .Version(9)
                          .Frame(0, 11000, 0, 8000, 15)
                          .FrameRate(0x1800)
                          .FrameCount(321)
                          .End()
                          .Fws()));
    EXPECT_EQ(parser.m_version, 9);
    EXPECT_FALSE(parser.m_isCompressed);
    EXPECT_EQ(parser.m_frameWidth, 550);
    EXPECT_EQ(parser.m_frameHeight, 400);
    EXPECT_FLOAT_EQ(parser.m_frameRate, 24.0F);
    EXPECT_EQ(parser.m_frameCount, 321);
    EXPECT_EQ(parser.m_fileLength, parser.m_dataLength);
    // The cursor stands on the first tag with the bit state empty.
    EXPECT_EQ(parser.m_pos,
              static_cast<int32_t>(8 + SwfWriter::Rect(0, 11000, 0, 8000, 15).size() + 4));
    EXPECT_EQ(parser.m_bitCount, 0);
    EXPECT_EQ(parser.GetTag(), 0);
}

TEST_F(ParseFileStructureTest, FrameSizeTruncatesAndFrameRateIsFixedPoint) {
    ASSERT_TRUE(Parse(SwfWriter().Frame(0, 10999, 0, 8019).FrameRate(0x0C80).Fws()));
    EXPECT_EQ(parser.m_frameWidth, 549);
    EXPECT_EQ(parser.m_frameHeight, 400);
    EXPECT_FLOAT_EQ(parser.m_frameRate, 12.5F);

    ASSERT_TRUE(
        Parse(SwfWriter().Frame(20, -20, 0, 0).FrameRate(0x1E80).Tag(2, {0, 0, 0, 0}).End().Fws()));
    EXPECT_EQ(parser.m_frameWidth, 2);
    EXPECT_FLOAT_EQ(parser.m_frameRate, 30.5F);
}

TEST_F(ParseFileStructureTest, PlainMovieShorterOrLongerThanItsHeaderSays) {
    std::vector<uint8_t> file = SwfWriter().FrameCount(7).End().LengthField(1000).Fws();
    file.resize(100, 0xAB);
    ASSERT_TRUE(Parse(file));
    EXPECT_EQ(parser.m_dataLength, 1000U);
    EXPECT_EQ(parser.m_frameCount, 7);
    EXPECT_EQ(parser.m_data[99], 0xAB);
    parser.m_pos = 100;
    EXPECT_EQ(parser.GetDWord(), 0U);
    parser.m_pos = 996;
    EXPECT_EQ(parser.GetDWord(), 0U);

    std::vector<uint8_t> longer = SwfWriter().End().Fws();
    auto declared = static_cast<uint32_t>(longer.size());
    longer.resize(longer.size() + 50, 0xCD);
    ASSERT_TRUE(Parse(longer));
    EXPECT_EQ(parser.m_dataLength, declared);
    EXPECT_EQ(parser.m_data[declared], 0); // the excess is not read
}

TEST_F(ParseFileStructureTest, CompressedMovie) {
    SwfWriter movie;
    movie.Version(10).FrameSizePixels(640, 480).FrameRate(0x1DF8).FrameCount(9000);
    movie.Tag(2, std::vector<uint8_t>(5000, 0x11)).End();
    std::vector<uint8_t> file = movie.Cws();
    file.insert(file.end(), {1, 2, 3, 4}); // trailing bytes after the stream are ignored
    ASSERT_TRUE(Parse(file)) << parser.FailureReason();
    EXPECT_TRUE(parser.m_isCompressed);
    EXPECT_EQ(parser.m_fileLength, movie.Fws().size());
    EXPECT_EQ(parser.m_dataLength, movie.Fws().size());
    EXPECT_EQ(parser.m_frameWidth, 640);
    EXPECT_EQ(parser.m_frameHeight, 480);
    EXPECT_NEAR(parser.m_frameRate, 29.97, 0.01);
    EXPECT_EQ(parser.m_frameCount, 9000);
    EXPECT_EQ(parser.m_data[0], 'C'); // the image keeps the file's own header
}

TEST_F(ParseFileStructureTest, CompressedMovieWithCorruptOrCutStream) {
    SwfWriter movie;
    movie.FrameSizePixels(320, 240).FrameCount(5);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> noise(256);
        for (size_t b = 0; b < noise.size(); ++b) {
            noise[b] = static_cast<uint8_t>((static_cast<size_t>(i) * 131 + b * 7) ^ (b >> 3));
        }
        movie.Tag(2, noise);
    }
    std::vector<uint8_t> file = movie.End().Cws(9);

    std::vector<uint8_t> corrupt = file;
    corrupt[8] ^= 0xFF; // the zlib header no longer checks
    EXPECT_FALSE(Parse(corrupt));
    EXPECT_EQ(parser.FailureReason().rfind("cannot inflate: ", 0), 0U) << parser.FailureReason();

    std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(file.size() / 3));
    ASSERT_TRUE(Parse(cut)) << parser.FailureReason();
    EXPECT_EQ(parser.m_frameWidth, 320);
    EXPECT_EQ(parser.m_frameCount, 5);
    EXPECT_LT(parser.m_dataLength, parser.m_fileLength);
    EXPECT_GT(parser.m_dataLength, 8U);
}

TEST_F(ParseFileStructureTest, LargeCompressedMovieGrowsInSteps) {
    SwfWriter movie;
    movie.FrameSizePixels(100, 100);
    std::vector<uint8_t> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<uint8_t>(i * 2654435761U >> 24);
    }
    for (int i = 0; i < 28; ++i) {
        movie.Tag(2, chunk);
    }
    std::vector<uint8_t> fws = movie.End().Fws();
    ASSERT_TRUE(Parse(movie.Cws(1)));
    EXPECT_EQ(parser.m_dataLength, fws.size());
    EXPECT_EQ(parser.HeldBytes(), 3U * CSWFBaseParse::kGrowthStep);
    EXPECT_EQ(0, std::memcmp(parser.m_data + 8, fws.data() + 8, fws.size() - 8));
}

TEST_F(ParseFileStructureTest, ParseFileReleasesTheImageButKeepsTheFacts) {
    std::string path = dir.Write("movie.swf", SwfWriter().FrameSizePixels(550, 400).End().Cws());
    ASSERT_TRUE(parser.ParseFile(path.c_str()));
    EXPECT_EQ(parser.m_data, nullptr);
    EXPECT_EQ(parser.m_dataLength, 0U);
    EXPECT_EQ(parser.m_pos, 0);
    EXPECT_EQ(parser.m_frameWidth, 550);
    EXPECT_TRUE(parser.m_isCompressed);

    // A new parse starts from scratch: the compressed flag of the last file does not stick.
    ASSERT_TRUE(Parse(SwfWriter().End().Fws()));
    EXPECT_FALSE(parser.m_isCompressed);
}

TEST(CSWFParserTest, OneInstanceUntilReleased) {
    CSWFParser::ReleaseInstance();
    CSWFParser::ReleaseInstance();
    CSWFParser* first = CSWFParser::Instance();
    EXPECT_EQ(CSWFParser::Instance(), first);
    first->m_frameCount = 99;
    CSWFParser::ReleaseInstance();
    EXPECT_EQ(CSWFParser::Instance()->m_frameCount, 0);
    CSWFParser::ReleaseInstance();
}

TEST(CSWFParserTest, TheNoOpOperationsSucceed) {
    CSWFBaseParse parser;
    unsigned long length = 5;
    EXPECT_TRUE(parser.ParseTags(true, 0, 0));
    EXPECT_TRUE(CSWFBaseParse::Uncompress(nullptr, length, nullptr, 0));
    EXPECT_EQ(length, 5U);
}

} // namespace

// The header-only reading must agree with the whole reading on every fact and every refusal
// that the header's bytes decide, while holding only those bytes.
TEST_F(ParseFileStructureTest, HeaderAloneGivesTheSameFactsAndRefusals) {
    SwfWriter large;
    large.Version(11).FrameSizePixels(1024, 768).FrameRate(0x1E00).FrameCount(4000);
    large.Tag(2, std::vector<uint8_t>(size_t{24} << 20, 0x5A)).End();
    const std::vector<uint8_t> largeCws = large.Cws(1);
    std::vector<uint8_t> cutCws = SwfWriter().FrameSizePixels(320, 240).FrameCount(5).End().Cws();
    cutCws.resize(14);
    std::vector<uint8_t> badZlib = SwfWriter().End().Cws();
    badZlib[8] ^= 0xFF;
    std::vector<uint8_t> shortPlain = SwfWriter().Frame(0, 10999, 0, 8019).LengthField(5000).Fws();
    shortPlain.resize(12);
    std::vector<uint8_t> notSwf = SwfWriter().End().Fws();
    notSwf[1] = 'X';
    const std::vector<uint8_t> bodyless{'C', 'W', 'S', 10, 100, 0, 0, 0};

    const struct {
        const char* name;
        std::vector<uint8_t> file;
    } cases[] = {
        {"plain", SwfWriter().Version(9).Frame(0, 11000, 0, 8000, 15).FrameCount(321).End().Fws()},
        {"widest rectangle", SwfWriter().Frame(-0x3FFFFFFF, 0x3FFFFFFF, -5, 0x3FFFFFFF).Fws()},
        {"plain cut inside its rectangle", shortPlain},
        {"compressed, 24 MiB", largeCws},
        {"compressed, cut after its zlib header", cutCws},
        {"compressed, zlib header broken", badZlib},
        {"compressed, no body", bodyless},
        {"shorter than a header", std::vector<uint8_t>(notSwf.begin(), notSwf.begin() + 5)},
        {"not a movie", notSwf},
        {"length field too small", SwfWriter().LengthField(20).Fws()},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.Write("movie.swf", file);
        CSWFBaseParse whole;
        CSWFBaseParse header;
        const bool wholeRead = whole.ParseFileStructure(path.c_str(), true);
        EXPECT_EQ(header.ParseHeader(path.c_str()), wholeRead);
        EXPECT_EQ(header.FailureReason(), whole.FailureReason());
        EXPECT_EQ(header.m_version, whole.m_version);
        EXPECT_EQ(header.m_fileLength, whole.m_fileLength);
        EXPECT_EQ(header.m_isCompressed, whole.m_isCompressed);
        EXPECT_EQ(header.m_frameWidth, whole.m_frameWidth);
        EXPECT_EQ(header.m_frameHeight, whole.m_frameHeight);
        EXPECT_EQ(header.m_frameRate, whole.m_frameRate);
        EXPECT_EQ(header.m_frameCount, whole.m_frameCount);
        EXPECT_LE(header.HeldBytes(), 512U);
    }
}
