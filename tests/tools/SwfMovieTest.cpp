#include <filesystem>
#include <fstream>
#include <utility>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ReadWholeFile.h"
#include "TagWalk.h"
#include "TempDir.h"
#include "ToolRun.h"
#include "swf/SWFBaseParse.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// What a DefineShape(3) body decodes to: the header, and the pen's positions after each edge.
struct DecodedShape {
    uint16_t id = 0;
    SRECT bounds{};
    int fillStyles = -1;
    int fillType = -1;
    uint32_t colour = 0; // 0xAARRGGBB
    int lineStyles = -1;
    uint32_t fillStyle1 = 0;
    bool otherStyles = false; // anything but fill style 1 set by a style change
    std::vector<std::pair<int32_t, int32_t>> pen;
    bool diagonal = false;
    bool ended = false;
    bool endsWithTag = false;
};

int32_t SignedBits(CSWFBaseParse& parser, int n) {
    uint32_t value = parser.GetBits(n);
    if (n > 0 && n < 32 && (value >> (n - 1) & 1U) != 0) {
        value |= ~0U << n;
    }
    return static_cast<int32_t>(value);
}

DecodedShape DecodeShape(CSWFBaseParse& parser, const TagWalk::Tag& tag, bool withAlpha) {
    DecodedShape shape;
    parser.m_pos = static_cast<int32_t>(tag.bodyStart);
    parser.InitBits();
    shape.id = static_cast<uint16_t>(parser.GetBits(8) | parser.GetBits(8) << 8);
    parser.GetRect(&shape.bounds);
    parser.InitBits();
    shape.fillStyles = static_cast<int>(parser.GetBits(8));
    shape.fillType = static_cast<int>(parser.GetBits(8));
    shape.colour = parser.GetColor(withAlpha);
    shape.lineStyles = static_cast<int>(parser.GetBits(8));
    int fillBits = static_cast<int>(parser.GetBits(4));
    int lineBits = static_cast<int>(parser.GetBits(4));
    int32_t x = 0;
    int32_t y = 0;
    for (int record = 0; record < 1000 && parser.m_pos <= static_cast<int32_t>(tag.end); ++record) {
        if (parser.GetBits(1) == 0) {
            uint32_t flags = parser.GetBits(5);
            if (flags == 0) {
                shape.ended = true;
                break;
            }
            shape.otherStyles |= (flags & ~0x04U) != 0; // only "fill style 1" expected
            if ((flags & 0x01U) != 0) {
                int n = static_cast<int>(parser.GetBits(5));
                x = SignedBits(parser, n);
                y = SignedBits(parser, n);
            }
            if ((flags & 0x02U) != 0) {
                parser.GetBits(fillBits);
            }
            if ((flags & 0x04U) != 0) {
                shape.fillStyle1 = parser.GetBits(fillBits);
            }
            if ((flags & 0x08U) != 0) {
                parser.GetBits(lineBits);
            }
            if ((flags & 0x10U) != 0) {
                break; // new style arrays: not something these movies hold
            }
            continue;
        }
        if (parser.GetBits(1) == 0) {
            break; // a curve: not something these movies hold
        }
        int n = static_cast<int>(parser.GetBits(4)) + 2;
        if (parser.GetBits(1) != 0) {
            shape.diagonal = true;
            x += SignedBits(parser, n);
            y += SignedBits(parser, n);
        } else if (parser.GetBits(1) != 0) {
            y += SignedBits(parser, n);
        } else {
            x += SignedBits(parser, n);
        }
        shape.pen.emplace_back(x, y);
    }
    parser.InitBits();
    shape.endsWithTag = parser.m_pos == static_cast<int32_t>(tag.end);
    return shape;
}

// A closed clockwise outline of (0,0)-(width,height): every point on the border, the corners
// visited in order, back at the origin.
void ExpectRectangleOutline(const DecodedShape& shape, int32_t width, int32_t height) {
    std::vector<std::pair<int32_t, int32_t>> corners;
    for (auto [x, y] : shape.pen) {
        bool onBorder = ((x == 0 || x == width) && y >= 0 && y <= height) ||
                        ((y == 0 || y == height) && x >= 0 && x <= width);
        EXPECT_TRUE(onBorder) << x << "," << y;
        if ((x == 0 || x == width) && (y == 0 || y == height)) {
            corners.emplace_back(x, y);
        }
    }
    using Corners = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(corners, (Corners{{width, 0}, {width, height}, {0, height}, {0, 0}}));
    EXPECT_FALSE(shape.diagonal);
}

class SwfMovieTest : public ::testing::Test {
protected:
    ToolRun Run(const std::vector<std::string>& args) {
        return ToolRun(HVX_SWFMOVIE, args, home.Path().string());
    }

    // Writes the description and runs the tool on it; the movie goes to out/movie.swf.
    ToolRun Make(const std::string& description) {
        WriteText(descriptionPath, description);
        return Run({descriptionPath, "-o", moviePath});
    }

    bool Parse() { return parser.ParseFileStructure(moviePath.c_str(), true); }

    TempDir home;
    TempDir work;
    std::string descriptionPath = work / "movie.json";
    std::string outDir = [this] {
        fs::create_directory(work / "out");
        return work / "out";
    }();
    std::string moviePath = outDir + "/movie.swf";
    CSWFBaseParse parser;
};

TEST_F(SwfMovieTest, HeaderCarriesTheDescribedFacts) {
    struct Case {
        const char* description;
        int version;
        int width;
        int height;
        uint16_t rate; // 8.8, as stored
        int frames;
        bool compressed;
    };
    const Case cases[] = {
        {R"({"version": 10, "width": 550, "height": 400, "frameRate": 12.5, "frames": 7,
             "compressed": true})",
         10, 550, 400, 0x0C80, 7, true},
        // 23.976 is kept to the nearest 1/256 (6137.86), not cut down.
        {R"({"version": 6, "width": 1, "height": 1, "frameRate": 23.976, "frames": 65535,
             "compressed": false})",
         6, 1, 1, 6138, 65535, false},
        {R"({"frames": 1, "frameRate": 255.99, "height": 8191, "width": 8191, "version": 1})", 1,
         8191, 8191, 65533, 1, false},
        {R"({"version": 255, "width": 234, "height": 60, "frameRate": 24.0, "frames": 2.0,
             "compressed": true, "shapes": []})",
         255, 234, 60, 24 << 8, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        ToolRun run = Make(c.description);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out + run.err, "");
        ASSERT_TRUE(Parse()) << parser.FailureReason();
        EXPECT_EQ(parser.m_version, c.version);
        EXPECT_EQ(parser.m_frameWidth, c.width);
        EXPECT_EQ(parser.m_frameHeight, c.height);
        EXPECT_EQ(parser.m_frameRate, static_cast<float>(c.rate / 256.0));
        EXPECT_EQ(parser.m_frameCount, c.frames);
        EXPECT_EQ(parser.m_isCompressed, c.compressed);
        // The length field is the whole movie: the file itself when plain, everything that
        // inflates when compressed.
        if (c.compressed) {
            EXPECT_EQ(parser.m_fileLength, parser.m_dataLength);
        } else {
            EXPECT_EQ(parser.m_fileLength, fs::file_size(moviePath));
        }
        TagWalk walk(parser);
        EXPECT_EQ(walk.Count(1), static_cast<size_t>(c.frames));
        EXPECT_EQ(walk.Tags().back().code, 0);
        EXPECT_EQ(walk.Tags().back().end, parser.m_dataLength); // End is the last byte
    }
}

TEST_F(SwfMovieTest, TagsComeInTheDescribedOrder) {
    ToolRun run = Make(R"({"version": 10, "width": 100, "height": 100, "frameRate": 24,
        "frames": 3, "compressed": true, "background": "#1A2b3C",
        "shapes": [{"x": 0, "y": 0, "width": 10, "height": 10, "color": "#ffffff"},
                   {"x": 5, "y": 5, "width": 10, "height": 10, "color": "#ffffff80"}]})");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(Parse());
    EXPECT_EQ(TagWalk(parser).Codes(), (std::vector<uint16_t>{69, 9, 2, 26, 32, 26, 1, 1, 1, 0}));
    ASSERT_TRUE(Parse());
    EXPECT_TRUE(parser.GetSWFInformation());
    EXPECT_EQ(parser.m_backgroundColor, 0x1A2B3CU);

    // Before version 8 there is no FileAttributes, and no background when none is given.
    run = Make(R"({"version": 7, "width": 100, "height": 100, "frameRate": 24, "frames": 1,
        "shapes": [{"x": 0, "y": 0, "width": 10, "height": 10, "color": "#000000"}]})");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(Parse());
    EXPECT_EQ(TagWalk(parser).Codes(), (std::vector<uint16_t>{2, 26, 1, 0}));
}

TEST_F(SwfMovieTest, ShapesAreClosedRectanglesPlacedAtTheirPosition) {
    // The wide and the tall shape have edges longer than one edge record holds.
    ToolRun run = Make(R"({"version": 10, "width": 550, "height": 400, "frameRate": 24,
        "frames": 1, "shapes": [
          {"x": 10, "y": 20, "width": 8000, "height": 30, "color": "#ff0000"},
          {"x": -5, "y": 0, "width": 1, "height": 1, "color": "#00FF0080"},
          {"x": 0, "y": -8191, "width": 3277, "height": 8191, "color": "#0000ff"}]})");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(Parse());
    TagWalk walk(parser);
    ASSERT_EQ(walk.Codes(), (std::vector<uint16_t>{69, 2, 26, 32, 26, 2, 26, 1, 0}));

    struct Expected {
        int32_t x, y, width, height; // pixels
        uint32_t colour;             // as the parser reads it: 0xAARRGGBB
        bool withAlpha;
    };
    const Expected expected[] = {{10, 20, 8000, 30, 0xFFFF0000, false},
                                 {-5, 0, 1, 1, 0x8000FF00, true},
                                 {0, -8191, 3277, 8191, 0xFF0000FF, false}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const Expected& e = expected[i];
        DecodedShape shape = DecodeShape(parser, walk.Tags()[1 + 2 * i], e.withAlpha);
        auto id = static_cast<uint16_t>(i + 1);
        EXPECT_EQ(shape.id, id);
        EXPECT_EQ(shape.bounds.xmin, 0);
        EXPECT_EQ(shape.bounds.ymin, 0);
        EXPECT_EQ(shape.bounds.xmax, e.width * 20);
        EXPECT_EQ(shape.bounds.ymax, e.height * 20);
        EXPECT_EQ(shape.fillStyles, 1);
        EXPECT_EQ(shape.fillType, 0); // solid
        EXPECT_EQ(shape.colour, e.colour);
        EXPECT_EQ(shape.lineStyles, 0);
        EXPECT_EQ(shape.fillStyle1, 1U);
        EXPECT_FALSE(shape.otherStyles);
        ExpectRectangleOutline(shape, e.width * 20, e.height * 20);
        EXPECT_TRUE(shape.ended);
        EXPECT_TRUE(shape.endsWithTag);

        const TagWalk::Tag& place = walk.Tags()[2 + 2 * i];
        parser.m_pos = static_cast<int32_t>(place.bodyStart);
        parser.InitBits();
        EXPECT_EQ(parser.GetBits(8), 0x06U);                       // a new character, with a matrix
        EXPECT_EQ(parser.GetBits(8) | parser.GetBits(8) << 8, id); // depth
        EXPECT_EQ(parser.GetBits(8) | parser.GetBits(8) << 8, id); // character
        MATRIX matrix{};
        parser.GetMatrix(&matrix);
        EXPECT_EQ(matrix.scaleX, 0x10000);
        EXPECT_EQ(matrix.scaleY, 0x10000);
        EXPECT_EQ(matrix.rotateSkew0, 0);
        EXPECT_EQ(matrix.rotateSkew1, 0);
        EXPECT_EQ(matrix.translateX, e.x * 20);
        EXPECT_EQ(matrix.translateY, e.y * 20);
        parser.InitBits();
        EXPECT_EQ(static_cast<uint32_t>(parser.m_pos), place.end);
    }
}

TEST_F(SwfMovieTest, RefusedDescriptionsNameTheFileAndTheReasonAndWriteNothing) {
    const std::string base = R"("version": 10, "width": 550, "height": 400, "frameRate": 24)";
    struct Case {
        std::string description;
        std::string reason;
    };
    const Case cases[] = {
        {"", "malformed JSON: parse error at line 1, column 1"},
        {"{\"version\": 10,\n \"width\": 550\n \"height\": 400}",
         "malformed JSON: parse error at line 3"},
        {R"({"version": 1e999})", "malformed JSON: number overflow"},
        {"[1, 2]", "the description must be a JSON object, not [1,2]"},
        {"{" + base + "}", "frames is missing"},
        {R"({"version": 10, "width": 550, "frameRate": 24, "frames": 1})", "height is missing"},
        {"{" + base + R"(, "frames": 1, "colour": "#000000"})", "unknown key \"colour\""},
        {"{" + base + R"(, "frames": 1, "frames": 2})", "repeated key \"frames\""},
        {R"({"version": 0, "width": 550, "height": 400, "frameRate": 24, "frames": 1})",
         "version must be a whole number from 1 to 255, not 0"},
        {R"({"version": 256, "width": 550, "height": 400, "frameRate": 24, "frames": 1})",
         "version must be a whole number from 1 to 255, not 256"},
        {R"({"version": 10, "width": 8192, "height": 400, "frameRate": 24, "frames": 1})",
         "width must be a whole number from 1 to 8191, not 8192"},
        {R"({"version": 10, "width": 550, "height": 18446744073709551615, "frameRate": 24,
             "frames": 1})",
         "height must be a whole number from 1 to 8191, not 18446744073709551615"},
        {R"({"version": 10, "width": "550", "height": 400, "frameRate": 24, "frames": 1})",
         "width must be a whole number from 1 to 8191, not \"550\""},
        {"{" + base + R"(, "frames": 65536})",
         "frames must be a whole number from 1 to 65535, not 65536"},
        {"{" + base + R"(, "frames": 1.5})",
         "frames must be a whole number from 1 to 65535, not 1.5"},
        {R"({"version": 10, "width": 550, "height": 400, "frameRate": 0, "frames": 1})",
         "frameRate must be a number of frames per second above 0 and below 256, not 0"},
        {R"({"version": 10, "width": 550, "height": 400, "frameRate": 0.001, "frames": 1})",
         "frameRate must be a number of frames per second above 0 and below 256, not 0.001"},
        {R"({"version": 10, "width": 550, "height": 400, "frameRate": 256, "frames": 1})",
         "frameRate must be a number of frames per second above 0 and below 256, not 256"},
        {"{" + base + R"(, "frames": 1, "compressed": "yes"})",
         "compressed must be true or false, not \"yes\""},
        {R"({"version": 5, "width": 550, "height": 400, "frameRate": 24, "frames": 1,
             "compressed": true})",
         "compressed movies need version 6 or later, not 5"},
        {"{" + base + R"(, "frames": 1, "background": "#11223344"})",
         "background must be \"#rrggbb\", not \"#11223344\""},
        {"{" + base + R"(, "frames": 1, "shapes": {}})", "shapes must be a list, not {}"},
        {"{" + base + R"(, "frames": 1, "shapes": [7]})", "shapes[0] must be an object, not 7"},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": 0, "y": 0, "width": 1, "height": 1, "color": "#000000"},
            {"x": 0, "y": 0, "width": 1, "height": 1}]})",
         "shapes[1].color is missing"},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": 0, "y": 0, "width": 1, "height": 1, "colour": "#000000"}]})",
         "unknown key \"colour\" in shapes[0]"},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": -8192, "y": 0, "width": 1, "height": 1, "color": "#000000"}]})",
         "shapes[0].x must be a whole number from -8191 to 8191, not -8192"},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": 0, "y": 0, "width": 0, "height": 1, "color": "#000000"}]})",
         "shapes[0].width must be a whole number from 1 to 8191, not 0"},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": 0, "y": 0, "width": 1, "height": 1, "color": "#00gg00"}]})",
         "shapes[0].color must be \"#rrggbb\" or \"#rrggbbaa\", not \"#00gg00\""},
        {"{" + base + R"(, "frames": 1, "shapes": [
            {"x": 0, "y": 0, "width": 1, "height": 1, "color": "#000"}]})",
         "shapes[0].color must be \"#rrggbb\" or \"#rrggbbaa\", not \"#000\""},
        {R"({"version": 2, "width": 550, "height": 400, "frameRate": 24, "frames": 1,
             "shapes": [{"x": 0, "y": 0, "width": 1, "height": 1, "color": "#000000"}]})",
         "movies with shapes need version 3 or later, not 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        ToolRun run = Make(c.description);
        EXPECT_EQ(run.status, 1);
        std::string prefix = "swfmovie: " + descriptionPath + ": " + c.reason;
        EXPECT_EQ(run.err.substr(0, prefix.size()), prefix) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err; // one line
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(fs::is_empty(outDir)); // no movie, no half-written temporary
    }
}

TEST_F(SwfMovieTest, OutputIsReplacedOnlyByACompleteMovie) {
    const std::string good =
        R"({"version": 10, "width": 550, "height": 400, "frameRate": 24, "frames": 1})";
    WriteText(moviePath, "an older movie");
    ToolRun failed = Make(R"({"version": 10})");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(ReadWholeFile(moviePath), "an older movie");

    ToolRun replaced = Make(good);
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    ASSERT_TRUE(Parse());
    EXPECT_EQ(parser.m_frameWidth, 550);
    EXPECT_EQ(std::distance(fs::directory_iterator(outDir), fs::directory_iterator()), 1);
    // Readable as any new file is, not private like the temporary it was written as.
    mode_t mask = umask(0);
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(moviePath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

    // A folder that is not there: the reason names the output.
    std::string nowhere = work / "missing/movie.swf";
    ToolRun unwritable = Run({descriptionPath, "-o", nowhere});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err,
              "swfmovie: " + nowhere + ": cannot write: No such file or directory\n");

    // A folder in the way: nothing is left beside it either.
    fs::remove(moviePath);
    fs::create_directory(moviePath);
    ToolRun blocked = Run({descriptionPath, "-o", moviePath});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err, "swfmovie: " + moviePath + ": cannot write: Is a directory\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(outDir), fs::directory_iterator()), 1);

    // Written over itself, the description would be lost.
    ToolRun onto = Run({descriptionPath, "-o", descriptionPath});
    EXPECT_EQ(onto.status, 1);
    EXPECT_EQ(onto.err, "swfmovie: " + descriptionPath + ": is the description itself\n");
    EXPECT_EQ(ReadWholeFile(descriptionPath), good);
}

TEST_F(SwfMovieTest, UnreadableDescriptions) {
    std::string missing = work / "missing.json";
    ToolRun run = Run({missing, "-o", moviePath});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "swfmovie: " + missing + ": cannot open: No such file or directory\n");

    run = Run({outDir, "-o", moviePath});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "swfmovie: " + outDir + ": not a regular file\n");
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST_F(SwfMovieTest, UsageErrorsExitTwoAndWriteNothing) {
    WriteText(descriptionPath,
              R"({"version": 10, "width": 550, "height": 400, "frameRate": 24, "frames": 1})");
    const std::vector<std::vector<std::string>> usages = {
        {},
        {descriptionPath},
        {"-o", moviePath},
        {descriptionPath, "-o", moviePath, "extra"},
        {descriptionPath, "-o", moviePath, "--frames", "3"},
        {descriptionPath, "-o", ""},
    };
    for (const auto& args : usages) {
        SCOPED_TRACE(testing::PrintToString(args));
        ToolRun run = Run(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("swfmovie: "), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(outDir));
    }
    ToolRun help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: swfmovie"), std::string::npos);
}

} // namespace
