#include "swfharvex/CaptureCommand.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Movie(const std::string& name, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(name[i % name.size()] ^ (i * 31) ^ (i >> 8));
    }
    return bytes;
}

// `swfharvex capture` in-process, with the bundle the build assembled, a home folder of its own
// and pages served on loopback. ctest gives every case a process of its own.
class CaptureCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        server.Http().Get(
            "/index.html", [this](const httplib::Request&, httplib::Response& response) {
                response.set_content("<embed src='/m/intro.swf'><embed src='/m/big.swf?v=3'>"
                                     "<object data='/m/player.php?file=game.swf'></object>"
                                     "<embed src='/m/skip.SWF'><embed src='/m/missing.swf'>",
                                     "text/html");
            });
        server.Http().Get(
            "/m/(.*)", [](const httplib::Request& request, httplib::Response& response) {
                std::string name = request.matches[1];
                if (name == "missing.swf") {
                    response.status = 404;
                    return;
                }
                response.set_content(Movie(name, name == "big.swf" ? 3'000'000 : 20'000),
                                     "application/x-shockwave-flash");
            });
        server.Start();
    }
    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }
    int Capture(std::vector<std::string> urls, bool json = true) {
        CaptureCommand::Options options;
        options.json = json;
        options.urls = std::move(urls);
        options.bundlePath = HVX_BUILT_BUNDLE;
        options.engine.engine = "static";
        std::ostringstream outText;
        std::ostringstream errText;
        int status = CaptureCommand(options).Run(outText, errText, false);
        out = outText.str();
        err = errText.str();
        return status;
    }

    TempDir home;
    const char* previousHome = nullptr;
    LoopbackServer server;
    std::string out;
    std::string err;
};

TEST_F(CaptureCommandTest, CatchesWhatTheRuleSaysByteExactAndNothingElse) {
    ASSERT_EQ(Capture({server.Url("/index.html")}), 0) << err;
    nlohmann::json list = nlohmann::json::parse(out);
    std::map<std::string, std::string> caught;
    for (const auto& entry : list) {
        caught[entry["SWFName"]] = entry["SWFAddress"];
    }
    EXPECT_EQ(caught,
              (std::map<std::string, std::string>{
                  {"big.swf", server.Url("/m/big.swf?v=3")},
                  {"intro.swf", server.Url("/m/intro.swf")},
                  {"player.php?file=game.swf", server.Url("/m/player.php?file=game.swf")}}));
    fs::path folder = home.Path() / "Documents/SWFHarvexData";
    std::set<std::string> files;
    for (const auto& file : fs::directory_iterator(folder)) {
        files.insert(file.path().filename().string());
    }
    EXPECT_EQ(files, (std::set<std::string>{"big.swf", "intro.swf", "player.php?file=game.swf"}));
    EXPECT_EQ(ReadWholeFile((folder / "big.swf").string()), Movie("big.swf", 3'000'000));
    EXPECT_EQ(ReadWholeFile((folder / "intro.swf").string()), Movie("intro.swf", 20'000));
}

TEST_F(CaptureCommandTest, APageThatCannotBeLoadedIsNamedAndFailsTheRun) {
    EXPECT_EQ(Capture({server.Url("/nothing.html"), server.Url("/index.html")}, false), 1);
    EXPECT_NE(err.find(server.Url("/nothing.html")), std::string::npos) << err;
    EXPECT_NE(out.find("intro.swf\t" + server.Url("/m/intro.swf")), std::string::npos) << out;
}

TEST_F(CaptureCommandTest, AMissingBundleIsReported) {
    CaptureCommand::Options options;
    options.urls = {server.Url("/index.html")};
    options.bundlePath = (home.Path() / "nowhere.bundle").string();
    std::ostringstream outText;
    std::ostringstream errText;
    EXPECT_EQ(CaptureCommand(options).Run(outText, errText, false), 1);
    EXPECT_NE(errText.str().find("nowhere.bundle"), std::string::npos);
}

} // namespace
