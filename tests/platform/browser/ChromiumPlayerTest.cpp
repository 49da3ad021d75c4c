#include <atomic>
#include <filesystem>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "browser/HostApplication.h"
#include "browser/PageEngines.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/PlayerFiles.h"
#include "foundation/RunLoop.h"

namespace {

const std::filesystem::path kPlayer = HVX_PLAYER_ROOT;

TEST(PlayerFilesTest, OnlyPlainNamesInThePlayersFolderAreAnswered) {
    const std::string origin = player_files::kOrigin;
    const struct {
        std::string url;
        int code;
    } table[] = {
        {origin + "/package.json", 200},
        {origin + "/../etc/passwd", 404},
        {origin + "/%2e%2e/x", 404},
        {origin + "/node_modules/x.js", 404},
        {origin + "/", 404},
        {origin + "/.hidden", 404},
        {"https://elsewhere.invalid/package.json", 404},
    };
    if (!std::filesystem::exists(kPlayer / "package.json")) {
        GTEST_SKIP() << "the player is not installed in " << kPlayer;
    }
    for (const auto& row : table) {
        const nlohmann::json answer = player_files::Answer(kPlayer, row.url);
        EXPECT_EQ(answer["responseCode"], row.code) << row.url;
    }
    const nlohmann::json script = player_files::Answer(kPlayer, origin + "/ruffle.js");
    EXPECT_EQ(script["responseHeaders"][0]["value"], "text/javascript");
    EXPECT_FALSE(script["body"].get<std::string>().empty());
}

// A page shown with the player: its movie plays (the player in the page fetches it), and the
// host still sees the plug-in object the page wrote.
TEST(ChromiumPlayerTest, ThePagesMoviesPlayAndTheirObjectsAreStillReported) {
    if (ChromiumProcess::Find().empty() || !std::filesystem::exists(kPlayer / "ruffle.js")) {
        GTEST_SKIP() << "needs Chromium and the player (scripts/test installs both)";
    }
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    std::mutex mutex;
    std::vector<std::string> movieFetchers; // the User-Agent of each fetch of the movie
    LoopbackServer server;
    server.Http().Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<embed src=movie.swf type=application/x-shockwave-flash "
                             "width=550 height=400>",
                             "text/html");
    });
    server.Http().Get(
        "/movie.swf", [&](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(mutex);
            movieFetchers.push_back(request.get_header_value("User-Agent"));
            // A header of a version 10 movie, 550 x 400, and its end tag.
            response.set_content(
                std::string("FWS\x0A\x15\0\0\0\x78\0\x05\x5F\0\0\x0F\xA0\0\0\x18\x01\0\0\0", 21),
                "application/x-shockwave-flash");
        });
    server.Start();

    HostApplication host;
    ChromiumOptions options;
    options.settle = std::chrono::milliseconds(300);
    options.keepPagesOpen = true;
    options.playerRoot = kPlayer;
    Outcome<std::unique_ptr<PageEngine>> chromium = page_engines::Chromium(options);
    ASSERT_TRUE(chromium) << chromium.failure().message();
    host.setPageEngine(std::move(chromium.value()));
    host.openPage(std::string_view(server.Url("/page.html")));
    const auto played = [&] {
        const std::lock_guard lock(mutex);
        return !movieFetchers.empty();
    };
    // Generous: the player's 14 MB of code is served through the protocol and compiled, slowly
    // on a loaded machine and in a sanitizer build.
    EXPECT_TRUE(RunLoop::Main().RunUntil(played, std::chrono::seconds(120)))
        << "the page's player never asked for the movie";
    EXPECT_NE(movieFetchers.empty() ? std::string() : movieFetchers.front(), "");
    ASSERT_TRUE(
        RunLoop::Main().RunUntil([&] { return host.pagesFinished(); }, std::chrono::seconds(60)));
    EXPECT_EQ(host.pages().back()->pluginObjectURLs(),
              std::vector<std::string>{server.Url("/movie.swf")});
    WebBaseNetscapePluginView::UnregisterClass();
}

} // namespace
