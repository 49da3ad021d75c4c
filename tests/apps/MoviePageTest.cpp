#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;

namespace {

// Bytes with a movie's signature, different for each name.
std::string Movie(const std::string& name) {
    std::string bytes = "FWS\x0a";
    for (size_t i = 0; i < 30'000; ++i) {
        bytes += static_cast<char>(name[i % name.size()] ^ (i * 7));
    }
    return bytes;
}

// `swfharvex capture --engine static` given the address of a movie rather than of a page.
class MoviePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        // /flash/… as a movie, /bytes/… as bytes of no declared kind.
        server.Http().Get("/(flash|bytes)/(.*)", [](const httplib::Request& request,
                                                    httplib::Response& response) {
            response.set_content(Movie(request.matches[2]), request.matches[1] == "flash"
                                                                ? "application/x-shockwave-flash"
                                                                : "application/octet-stream");
        });
        server.Http().Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<embed src='/flash/onpage.swf'>", "text/html");
        });
        server.Start();
    }
    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    TempDir home;
    const char* previousHome = nullptr;
    LoopbackServer server;
};

TEST_F(MoviePageTest, AMovieAddressIsCaughtByteExactUnderItsName) {
    CaptureCommand::Options options;
    options.json = true;
    options.urls = {server.Url("/flash/direct.swf"), server.Url("/bytes/sniffed.swf"),
                    server.Url("/page.html")};
    options.bundlePath = HVX_BUILT_BUNDLE;
    options.engine.engine = "static";
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(CaptureCommand(options).Run(out, err, false), 0) << err.str();

    std::map<std::string, std::string> caught;
    const fs::path folder = home.Path() / "Documents/SWFHarvexData";
    const nlohmann::json result = nlohmann::json::parse(out.str());
    for (const auto& entry : result["captured"]) {
        const std::string name = entry["SWFName"];
        caught[name] = entry["SWFAddress"];
        EXPECT_EQ(ReadWholeFile((folder / name).string()), Movie(name)) << name;
    }
    EXPECT_EQ(caught, (std::map<std::string, std::string>{
                          {"direct.swf", server.Url("/flash/direct.swf")},
                          {"sniffed.swf", server.Url("/bytes/sniffed.swf")},
                          {"onpage.swf", server.Url("/flash/onpage.swf")}}));
}

} // namespace
