#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "browser/chromium/ChromiumProcess.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPlayer = HVX_PLAYER_ROOT;

// `swfharvex capture` in-process (with the static engine unless a case plays its movies), against
// a site of movies that swfmovie writes: movies whose code requests other files as it starts, as
// loaders do.
class CaptureDependenciesTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        // 2 GiB: only a bound stops it.
        server.Http().Get(
            "/s/endless.swf", [](const httplib::Request&, httplib::Response& response) {
                response.set_chunked_content_provider(
                    "application/x-shockwave-flash", [](size_t offset, httplib::DataSink& sink) {
                        const std::string chunk(64 * 1024, 'x');
                        return offset < (size_t{2} << 30) && sink.write(chunk.data(), chunk.size());
                    });
            });
        server.Http().Get(".*",
                          [this](const httplib::Request& request, httplib::Response& response) {
                              std::lock_guard lock(siteLock);
                              ++requests[request.path];
                              const auto file = site.find(request.path);
                              if (file == site.end()) {
                                  response.status = 404;
                                  return;
                              }
                              response.set_content(file->second, request.path.ends_with(".html")
                                                                     ? "text/html"
                                                                     : "application/octet-stream");
                          });
        server.Start();
    }
    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    // A movie whose code requests `urls` as it starts (ActionScript 3, or with `loads`
    // ActionScript 1 getURL into _level0); `colour` tells movies apart.
    std::string Movie(const std::vector<std::string>& urls, const std::string& colour,
                      bool loads = false, const nlohmann::json& moreLoads = {}) {
        nlohmann::json description{{"version", 10},
                                   {"width", 20},
                                   {"height", 20},
                                   {"frameRate", 12},
                                   {"frames", 1},
                                   {"background", colour},
                                   {"requests", nlohmann::json::array()}};
        for (const std::string& url : urls) {
            description["requests"].push_back({{"method", "GET"}, {"url", url}});
        }
        if (loads) {
            description["loads"] = description["requests"];
            description.erase("requests");
            for (nlohmann::json& load : description["loads"]) {
                load.erase("method");
            }
            for (const nlohmann::json& load : moreLoads) {
                description["loads"].push_back(load);
            }
        }
        const fs::path json = home.Path() / "movie.json";
        const fs::path swf = home.Path() / "movie.swf";
        std::ofstream(json) << description.dump();
        const std::string command =
            std::string(HVX_SWFMOVIE) + " '" + json.string() + "' -o '" + swf.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadWholeFile(swf.string());
    }
    void Serve(const std::string& path, std::string bytes) {
        std::lock_guard lock(siteLock);
        site[path] = std::move(bytes);
    }
    int Requests(const std::string& path) {
        std::lock_guard lock(siteLock);
        return requests[path];
    }

    int Capture(const std::vector<std::string>& pages, DependencyBounds bounds = {},
                const std::string& mirrorCopy = {}, const std::string& engine = "static") {
        CaptureCommand::Options options;
        options.json = true;
        for (const std::string& page : pages) {
            options.urls.push_back(server.Url(page));
        }
        options.bundlePath = HVX_BUILT_BUNDLE;
        options.engine.engine = engine;
        options.engine.playerRoot = kPlayer.string();
        options.dependencies = bounds;
        options.mirrorCopy = mirrorCopy;
        std::ostringstream outText;
        std::ostringstream errText;
        const int status = CaptureCommand(options).Run(outText, errText, false);
        out = nlohmann::json::parse(outText.str());
        err = errText.str();
        manifest = nlohmann::json::parse(ReadWholeFile((mirror / "manifest.json").string()));
        return status;
    }
    // The manifest's entry for the movie at `path`.
    nlohmann::json Entry(const std::string& path) const {
        for (const nlohmann::json& movie : manifest["movies"]) {
            if (movie["movie"] == server.Url(path)) {
                return movie;
            }
        }
        ADD_FAILURE() << "no manifest entry for " << path << " in " << manifest.dump(2);
        return {};
    }
    // Each dependency's address (as a path on the server) and how it ended.
    std::map<std::string, std::string> Outcomes(const nlohmann::json& entry) const {
        std::map<std::string, std::string> outcomes;
        for (const nlohmann::json& file : entry["dependencies"]) {
            outcomes[PathOf(file["address"])] =
                file["status"].get<std::string>() + " " + file["foundBy"].get<std::string>();
        }
        return outcomes;
    }
    // An address on the test server as its path; any other as it is.
    std::string PathOf(const std::string& address) const {
        const std::string root = server.Url("/");
        return address.starts_with(root) ? address.substr(root.size() - 1) : address;
    }
    std::string InMirror(const std::string& path) const {
        return ReadWholeFile((mirror / Host() / path.substr(1)).string());
    }
    std::string Host() const {
        const std::string root = server.Url("/");
        return root.substr(7, root.size() - 8); // "127.0.0.1:PORT"
    }

    TempDir home;
    const char* previousHome = nullptr;
    fs::path mirror = home.Path() / "Documents/SWFHarvexData/.mirror";
    std::mutex siteLock;
    std::map<std::string, std::string> site;
    std::map<std::string, int> requests;
    LoopbackServer server;
    nlohmann::json out;
    nlohmann::json manifest;
    std::string err;
};

TEST_F(CaptureDependenciesTest, WhatAMovieLoadsIsCaughtByteExactAndLaidOutByAddress) {
    const std::string loader =
        Movie({"second.swf", server.Url("/abs/fourth.swf"), "conf/list.xml", "file:///etc/passwd"},
              "#000001");
    Serve("/page.html", "<embed src='a/loader.swf' flashvars='level=2'>");
    Serve("/a/loader.swf", loader);
    Serve("/a/second.swf", Movie({}, "#000002"));
    Serve("/abs/fourth.swf", Movie({}, "#000004"));
    // Resolved against the page first (/third.swf, missing), then where the movie is.
    Serve("/a/conf/list.xml", "<list><movie url=\"third.swf\"/></list>");
    Serve("/a/third.swf", Movie({}, "#000003"));

    const fs::path rescue = home.Path() / "rescue";
    ASSERT_EQ(Capture({"/page.html"}, {}, rescue.string()), CaptureCommand::kAllLoaded) << err;
    const nlohmann::json entry = Entry("/a/loader.swf");
    EXPECT_EQ(entry["page"], server.Url("/page.html"));
    EXPECT_EQ(entry["flashvars"], "level=2");
    EXPECT_EQ(Outcomes(entry),
              (std::map<std::string, std::string>{{"/a/second.swf", "caught read"},
                                                  {"/abs/fourth.swf", "caught read"},
                                                  {"/a/conf/list.xml", "caught read"},
                                                  {"/a/third.swf", "caught read"},
                                                  {"file:///etc/passwd", "refused read"}}));
    for (const std::string path : {"/a/loader.swf", "/a/second.swf", "/abs/fourth.swf",
                                   "/a/conf/list.xml", "/a/third.swf"}) {
        EXPECT_EQ(InMirror(path), site[path]) << path;
    }
    for (const nlohmann::json& file : entry["dependencies"]) {
        if (file["status"] == "caught") {
            EXPECT_EQ(file["size"], site[PathOf(file["address"])].size());
        }
    }
    EXPECT_NE(err.find("file:///etc/passwd: needed by " + server.Url("/a/loader.swf")),
              std::string::npos)
        << err;
    // The rescue is the mirror, file for file.
    std::map<std::string, std::string> inMirror;
    std::map<std::string, std::string> inRescue;
    for (const auto& file : fs::recursive_directory_iterator(mirror)) {
        if (file.is_regular_file()) {
            inMirror[fs::relative(file.path(), mirror)] = ReadWholeFile(file.path().string());
        }
    }
    for (const auto& file : fs::recursive_directory_iterator(rescue)) {
        if (file.is_regular_file()) {
            inRescue[fs::relative(file.path(), rescue)] = ReadWholeFile(file.path().string());
        }
    }
    EXPECT_EQ(inRescue, inMirror);
    EXPECT_EQ(inMirror.size(), 6U); // five files and the manifest
    // The list keeps its shape; what each movie needs stands beside it.
    EXPECT_EQ(out["captured"].size(), 1U);
    EXPECT_EQ(out["captured"][0].size(), 2U);
    EXPECT_EQ(out["notCaught"].size(), 0U) << out.dump(2);
    EXPECT_EQ(out["dependencies"][0]["dependencies"].size(), 5U);
}

TEST_F(CaptureDependenciesTest, TheObjectsBaseMovesTheResolution) {
    // As an attribute of an <embed>, and as a parameter of an <object>.
    Serve("/page.html", "<embed src='a/loader.swf' base='/b/'>"
                        "<object data='c/object.swf' type='application/x-shockwave-flash'>"
                        "<param name=BASE value='/b/'><param name=flashvars value='x=1'></object>");
    Serve("/a/loader.swf", Movie({"second.swf"}, "#000001", true));
    Serve("/c/object.swf", Movie({"second.swf"}, "#00000C", true));
    Serve("/a/second.swf", Movie({}, "#0000AA"));
    Serve("/b/second.swf", Movie({}, "#0000BB"));

    // A rescue that cannot be written says so in the exit status; the mirror itself is whole.
    const std::string underAFile = (home.Path() / "Documents/SWFHarvexData/loader.swf/x").string();
    ASSERT_EQ(Capture({"/page.html"}, {}, underAFile), CaptureCommand::kMirrorNotWritten) << err;
    EXPECT_NE(err.find("the mirror was not written"), std::string::npos) << err;
    const nlohmann::json entry = Entry("/a/loader.swf");
    EXPECT_EQ(entry["base"], server.Url("/b/"));
    EXPECT_EQ(Outcomes(entry),
              (std::map<std::string, std::string>{{"/b/second.swf", "caught read"}}));
    EXPECT_EQ(InMirror("/b/second.swf"), site["/b/second.swf"]);
    EXPECT_EQ(Requests("/a/second.swf"), 0);
    const nlohmann::json object = Entry("/c/object.swf");
    EXPECT_EQ(object["base"], server.Url("/b/"));
    EXPECT_EQ(object["flashvars"], "x=1");
    EXPECT_EQ(Outcomes(object),
              (std::map<std::string, std::string>{{"/b/second.swf", "caught read"}}));
}

// Played in Chromium, a movie asks for what no reading of it finds (here an address its page's
// flashvars give it): that is caught too, found by playing, and only once whoever finds it.
TEST_F(CaptureDependenciesTest, WhatAMovieAsksForAsItPlaysIsCaughtByPlaying) {
    if (ChromiumProcess::Find().empty() || !fs::exists(kPlayer / "ruffle.js")) {
        GTEST_SKIP() << "needs Chromium and the player (scripts/test installs both)";
    }
    Serve("/page.html", "<object data='a/loader.swf' type='application/x-shockwave-flash' "
                        "width=20 height=20><param name=FlashVars value='next=parts/level.swf'>"
                        "<param name=base value='/b/'></object>");
    Serve("/a/loader.swf", Movie({}, "#000001", true,
                                 {{{"url", "known.swf"}, {"target", "_level1"}},
                                  {{"variable", "next"}, {"target", "_level2"}}}));
    Serve("/b/known.swf", Movie({}, "#000002"));
    Serve("/b/parts/level.swf", Movie({}, "#000003"));

    DependencyBounds bounds;
    bounds.playSeconds = 2;
    ASSERT_EQ(Capture({"/page.html"}, bounds, {}, "chromium"), CaptureCommand::kAllLoaded) << err;
    const nlohmann::json entry = Entry("/a/loader.swf");
    EXPECT_EQ(entry["flashvars"], "next=parts/level.swf");
    EXPECT_FALSE(entry.contains("notPlayed")) << entry.dump(2);
    EXPECT_EQ(Outcomes(entry),
              (std::map<std::string, std::string>{{"/b/known.swf", "caught read"},
                                                  {"/b/parts/level.swf", "caught played"}}));
    EXPECT_EQ(InMirror("/b/parts/level.swf"), site["/b/parts/level.swf"]);
    // The player's own requests never leave the browser: each file is fetched once, by us.
    EXPECT_EQ(Requests("/b/known.swf"), 1);
    EXPECT_EQ(Requests("/b/parts/level.swf"), 1);
}

TEST_F(CaptureDependenciesTest, LoopsFloodsAndEndlessFilesStayWithinTheirBounds) {
    Serve("/loop.html", "<embed src='/l/one.swf'>");
    Serve("/l/one.swf", Movie({"two.swf"}, "#000001"));
    Serve("/l/two.swf", Movie({"one.swf", "two.swf"}, "#000002"));
    // A list of 100,000 movies, 64 of them there.
    std::string many = "<list>";
    for (int i = 0; i < 100'000; ++i) {
        many += "<movie url=\"f" + std::to_string(i) + ".swf\"/>";
    }
    Serve("/f/list.xml", many + "</list>");
    const std::string one = Movie({}, "#000003");
    for (int i = 0; i < 64; ++i) {
        Serve("/f/f" + std::to_string(i) + ".swf", one);
    }
    Serve("/flood.html", "<embed src='/f/flood.swf'>");
    Serve("/f/flood.swf", Movie({"list.xml"}, "#000004"));
    Serve("/stream.html", "<embed src='/s/stream.swf'>");
    Serve("/s/stream.swf", Movie({"endless.swf"}, "#000005"));
    // Another service on this machine (the desktop's, say) is no dependency of a site's movie.
    LoopbackServer beside;
    int besideRequests = 0;
    beside.Http().Get(
        ".*", [&besideRequests](const httplib::Request&, httplib::Response&) { ++besideRequests; });
    beside.Start();
    Serve("/local.html", "<embed src='/x/local.swf'>");
    Serve("/x/local.swf",
          Movie({beside.Url("/event?token=1.xml"), "file:///etc/passwd"}, "#000006"));

    DependencyBounds bounds;
    bounds.mostFiles = 10;
    bounds.mostBytes = uint64_t{4} << 20;
    ASSERT_EQ(Capture({"/loop.html", "/flood.html", "/stream.html", "/local.html"}, bounds),
              CaptureCommand::kAllLoaded)
        << err;

    EXPECT_EQ(Outcomes(Entry("/l/one.swf")),
              (std::map<std::string, std::string>{{"/l/two.swf", "caught read"}}));
    EXPECT_EQ(Requests("/l/one.swf"), 1);
    EXPECT_EQ(Requests("/l/two.swf"), 1);

    // The list and nine of its movies; every other name is counted, none is fetched.
    const nlohmann::json flood = Entry("/f/flood.swf");
    EXPECT_EQ(flood["dependencies"].size(), 10U);
    EXPECT_EQ(flood["leftOut"], 100'000 - 9);
    EXPECT_NE(err.find("99991 more references"), std::string::npos) << err;
    EXPECT_EQ(Requests("/f/f10.swf"), 0);

    const nlohmann::json stream = Entry("/s/stream.swf");
    ASSERT_EQ(stream["dependencies"].size(), 1U);
    EXPECT_EQ(stream["dependencies"][0]["status"], "failed");
    EXPECT_NE(stream["dependencies"][0]["reason"].get<std::string>().find("4194304 bytes"),
              std::string::npos)
        << stream.dump(2);
    EXPECT_EQ(
        Outcomes(Entry("/x/local.swf")),
        (std::map<std::string, std::string>{{beside.Url("/event?token=1.xml"), "refused read"},
                                            {"file:///etc/passwd", "refused read"}}));
    EXPECT_EQ(besideRequests, 0);
    // Nothing of it stays, not even a partial file.
    for (const auto& file : fs::directory_iterator(mirror / Host() / "s")) {
        EXPECT_EQ(file.path().filename(), "stream.swf");
    }
}

} // namespace
