#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "ReadWholeFile.h"
#include "SwfWriter.h"
#include "TempDir.h"
#include "swfharvex/CommandLine.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunCommand(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    int status = CommandLine::Run(args, out, err);
    return {status, out.str(), err.str()};
}

class InfoCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        SwfWriter movie;
        movie.Version(8).FrameSizePixels(550, 400).FrameRate(0x0C80).FrameCount(42);
        movie.BackgroundColor(0x33, 0x66, 0x99).Tag(24, {}).End();
        cws = dir.Write("Intro Movie.swf", movie.Cws());
        fws = dir.Write("intro.fws.swf", movie.Fws());
        length = movie.Fws().size();
    }

    TempDir dir;
    std::string cws;
    std::string fws;
    size_t length = 0;
};

TEST_F(InfoCommandTest, TextShowsTheWindowsSixFacts) {
    Result result = RunCommand({"info", cws});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, cws +
                              "\n"
                              "  Name:        Intro Movie\n"
                              "  Size:        " +
                              std::to_string(length) +
                              " Bytes\n"
                              "  Version:     8\n"
                              "  Frame size:  550*400px\n"
                              "  Frame rate:  12\n"
                              "  Frame count: 42\n");
}

TEST_F(InfoCommandTest, JsonHasOneObjectPerFileInArgumentOrder) {
    std::string missing = dir / "gone.swf";
    std::string notSwf = dir.Write("notes.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r'});
    Result result = RunCommand({"info", "--json", "--tags", fws, missing, cws, notSwf});
    EXPECT_EQ(result.status, 1);
    nlohmann::json report = nlohmann::json::parse(result.out);
    ASSERT_EQ(report.size(), 4U);

    EXPECT_EQ(report[0]["path"], fws);
    EXPECT_EQ(report[0]["ok"], true);
    EXPECT_EQ(report[0]["compressed"], false);
    EXPECT_EQ(report[2]["compressed"], true);
    for (int i : {0, 2}) {
        EXPECT_EQ(report[i]["version"], 8);
        EXPECT_EQ(report[i]["frameWidth"], 550);
        EXPECT_EQ(report[i]["frameHeight"], 400);
        EXPECT_EQ(report[i]["frameRate"], 12.5);
        EXPECT_EQ(report[i]["frameCount"], 42);
        EXPECT_EQ(report[i]["fileLength"], length);
        EXPECT_EQ(report[i]["sizeText"], std::to_string(length) + " Bytes");
        EXPECT_EQ(report[i]["frameSizeText"], "550*400px");
        EXPECT_EQ(report[i]["backgroundColor"], "#336699");
        EXPECT_EQ(report[i]["protected"], true);
        EXPECT_EQ(report[i]["hasTag41"], false);
        EXPECT_EQ(report[i]["minVersion"], 0);
    }
    EXPECT_EQ(report[0]["name"], "intro.fws");
    EXPECT_EQ(report[2]["name"], "Intro Movie");

    EXPECT_EQ(report[1], (nlohmann::json{{"path", missing},
                                         {"ok", false},
                                         {"error", "cannot open: No such file or directory"}}));
    EXPECT_EQ(report[3]["error"], "not a SWF file");
}

TEST_F(InfoCommandTest, EachRefusalNamesTheFileAndTheReason) {
    std::vector<uint8_t> corrupt = SwfWriter().FrameSizePixels(550, 400).ShowFrame().End().Cws();
    corrupt[9] ^= 0x5A; // breaks the zlib header check
    std::vector<uint8_t> wrongSignature = SwfWriter().End().Fws();
    wrongSignature[0] = 'X';
    const std::pair<std::string, std::string> refusals[] = {
        {dir.Write("tiny.swf", {'F', 'W', 'S', 1, 2, 3, 4}), "shorter than a header"},
        {dir.Write("wrong.swf", wrongSignature), "not a SWF file"},
        {dir.Write("short-length.swf", SwfWriter().End().LengthField(20).Fws()),
         "length field too small (20 bytes)"},
        {dir.Write("corrupt.swf", corrupt), "cannot inflate: incorrect header check"},
        {dir / "missing.swf", "cannot open: No such file or directory"},
        // A compressed movie whose body ends before a byte came out holds no movie at all.
        {dir.Write("empty-body.swf", {'C', 'W', 'S', 8, 100, 0, 0, 0}),
         "cannot inflate: the compressed body ends before any data"},
        {dir.Write("zlib-header-only.swf", {'C', 'W', 'S', 8, 100, 0, 0, 0, 0x78, 0x9C}),
         "cannot inflate: the compressed body ends before any data"},
        {dir.Path().string(), "not a regular file (a folder)"},
    };
    for (const auto& [path, reason] : refusals) {
        Result result = RunCommand({"info", path, cws});
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_EQ(result.err, "swfharvex: " + path + ": " + reason + "\n");
        EXPECT_NE(result.out.find("Intro Movie"), std::string::npos) << "the good file still shows";
    }
}

// A FIFO must be refused at once, not wait for a writer. Should the command block, a writer
// turns up after a while, so the case fails instead of hanging.
TEST_F(InfoCommandTest, AFifoIsRefusedWithoutWaitingAndTheOtherFilesStillShow) {
    const std::string fifo = dir / "pipe.swf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread rescue([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        while (!done) { // the command blocks in open: let it through with an empty stream
            if (int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) {
                close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const auto started = std::chrono::steady_clock::now();
    Result result = RunCommand({"info", fifo, cws});
    const auto took = std::chrono::steady_clock::now() - started;
    done = true;
    rescue.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "swfharvex: " + fifo + ": not a regular file (a FIFO)\n");
    EXPECT_NE(result.out.find("Intro Movie"), std::string::npos);
}

// File names are bytes; JSON strings are UTF-8. A name that is not UTF-8 shows U+FFFD for each
// byte that does not fit, and its exact bytes beside it in hex; it must never abort the output.
TEST_F(InfoCommandTest, JsonNamesThatAreNotUtf8AreMarkedAndKeptExactly) {
    const std::string bytes = ReadWholeFile(cws);
    const std::vector<uint8_t> movie(bytes.begin(), bytes.end());
    const auto hex = [](const std::string& text) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string digits;
        for (unsigned char c : text) {
            digits += {kDigits[c >> 4], kDigits[c & 0x0F]};
        }
        return digits;
    };
    struct Case {
        std::string file;
        std::string shown; // the file name as the JSON shows it
        bool exists;
    };
    const Case cases[] = {
        {"caf\xE9.swf", "caf\xEF\xBF\xBD.swf", true},
        {"caf\xC3\xA9.swf", "caf\xC3\xA9.swf", true}, // valid UTF-8 passes unmarked
        {"gone\xFF\xFE.swf", "gone\xEF\xBF\xBD\xEF\xBF\xBD.swf", false},
    };
    std::vector<std::string> args = {"info", "--json"};
    for (const Case& entry : cases) {
        args.push_back(entry.exists ? dir.Write(entry.file, movie) : dir / entry.file);
    }
    Result result = RunCommand(args);
    EXPECT_EQ(result.status, 1);
    const nlohmann::json report = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_TRUE(report.is_array()) << result.out;
    ASSERT_EQ(report.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& entry = cases[i];
        const nlohmann::json& shown = report[i];
        EXPECT_EQ(shown["ok"], entry.exists) << entry.shown;
        EXPECT_EQ(shown["path"], dir / entry.shown);
        EXPECT_EQ(shown.value("pathHex", ""),
                  entry.file == entry.shown ? "" : hex(dir / entry.file));
        if (entry.exists) {
            const std::string name = entry.shown.substr(0, entry.shown.size() - 4);
            EXPECT_EQ(shown["name"], name);
        }
    }
}

TEST_F(InfoCommandTest, UsageErrorsAndHelp) {
    EXPECT_EQ(RunCommand({"info"}).status, 2);
    EXPECT_EQ(RunCommand({"info", "--frobnicate", cws}).status, 2);
    EXPECT_EQ(RunCommand({"explode"}).status, 2);

    Result help = RunCommand({"info", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    EXPECT_NE(help.out.find("--tags"), std::string::npos);
    EXPECT_NE(RunCommand({"--help"}).out.find("info"), std::string::npos);
}

} // namespace
