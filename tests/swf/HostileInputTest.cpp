#include <fstream>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"

namespace {

// A compressed movie whose body inflates to `inflatedBytes`: a valid header and frame, then
// zeros. The length field says `lengthField`.
std::string WriteZeroBomb(const TempDir& dir, uint64_t inflatedBytes, uint32_t lengthField) {
    std::string path = dir / "bomb.swf";
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> header = SwfWriter::Header('C', 10, lengthField);
    out.write(reinterpret_cast<const char*>(header.data()), 8);

    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, 1), Z_OK);
    std::vector<uint8_t> zeros(1 << 20, 0);
    std::vector<uint8_t> frame = SwfWriter().FrameSizePixels(550, 400).Body();
    std::copy(frame.begin(), frame.end(), zeros.begin());
    std::vector<uint8_t> packed(1 << 20);
    for (uint64_t done = 0; done < inflatedBytes; done += zeros.size()) {
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(std::min<uint64_t>(zeros.size(), inflatedBytes - done));
        bool last = done + zeros.size() >= inflatedBytes;
        do {
            stream.next_out = packed.data();
            stream.avail_out = static_cast<uInt>(packed.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.write(reinterpret_cast<const char*>(packed.data()),
                      static_cast<std::streamsize>(packed.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        std::fill(zeros.begin(), zeros.begin() + static_cast<long>(frame.size()), 0);
    }
    deflateEnd(&stream);
    return path;
}

// Parses in a child process and answers the child's peak resident memory in MiB, or -1 when
// the parse failed or the child died.
long PeakMiBOfParsing(const std::string& path) {
    pid_t child = fork();
    if (child == 0) {
        CSWFBaseParse parser;
        bool ok = parser.ParseFileStructure(path.c_str(), true) && parser.GetSWFInformation() &&
                  parser.m_frameWidth == 550;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_maxrss / 1024;
}

TEST(HostileInputTest, LyingLengthFieldOnASmallPlainFileCostsLittle) {
    TempDir dir;
    std::vector<uint8_t> file =
        SwfWriter().FrameSizePixels(550, 400).End().LengthField(0xFFFFFFF0).Fws();
    file.resize(100, 0);
    CSWFBaseParse parser;
    ASSERT_TRUE(parser.ParseFileStructure(dir.Write("liar.swf", file).c_str(), true));
    EXPECT_EQ(parser.m_dataLength, 0xFFFFFFF0U);
    EXPECT_EQ(parser.m_fileLength, 0xFFFFFFF0U);
    EXPECT_LE(parser.HeldBytes(), 100U + CSWFBaseParse::kTailPadding);
    EXPECT_EQ(parser.m_frameWidth, 550);
    EXPECT_TRUE(parser.GetSWFInformation()); // walks into the zeros and stops
}

TEST(HostileInputTest, CompressedOutputBeyondTheDeclaredLengthIsNotKept) {
    TempDir dir;
    CSWFBaseParse parser;
    ASSERT_TRUE(parser.ParseFileStructure(WriteZeroBomb(dir, 50ULL << 20, 1000).c_str(), true));
    EXPECT_EQ(parser.HeldBytes(), CSWFBaseParse::kGrowthStep);
    EXPECT_LE(parser.m_dataLength, CSWFBaseParse::kGrowthStep);
    EXPECT_EQ(parser.m_fileLength, 1000U);
    EXPECT_EQ(parser.m_frameWidth, 550);

    ASSERT_TRUE(
        parser.ParseFileStructure(WriteZeroBomb(dir, 30ULL << 20, 0xFFFFFFFF).c_str(), true));
    EXPECT_EQ(parser.m_dataLength, (30U << 20) + 8);
}

TEST(HostileInputTest, TwoGigabyteBombStaysWellUnderItsSize) {
    TempDir dir;
    std::string bomb = WriteZeroBomb(dir, 2ULL << 30, 0x80000000U);
    long peak = PeakMiBOfParsing(bomb);
    ASSERT_GT(peak, 0) << "the parse failed or crashed";
    EXPECT_LT(peak, 400) << "MiB resident at the peak";

    CSWFBaseParse parser;
    ASSERT_TRUE(parser.ParseFileStructure(bomb.c_str(), true));
    EXPECT_EQ(parser.HeldBytes(), CSWFBaseParse::kImageCeiling);
    EXPECT_EQ(parser.m_fileLength, 0x80000000U);
}

} // namespace
