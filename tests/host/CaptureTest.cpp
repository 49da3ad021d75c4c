#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "appkit/NSAlert.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSURL.h"
#include "host/MethodSwizzle.h"
#include "host/SafariMethods.h"
#include "webkit/DownloadActivity.h"

namespace {

// A host browser whose plug-in view initialiser has the capture in front of it, a home folder
// of its own, and a loopback server with pages and movies.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::Main();
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1); // no Documents folder: the capture must make it
        InitialiseCaptureRecords();
        RegisterSafariMethods();
        WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
        swizzleMethods({{std::string(WebBaseNetscapePluginView::kClassName),
                         std::string(WebBaseNetscapePluginView::kDOMElementInitialiser), true}});

        server.Http().Get(R"(/page/(.*))",
                          [this](const httplib::Request& request, httplib::Response& response) {
                              response.set_content(pages[request.matches[1].str()], "text/html");
                          });
        server.Http().Get(
            ".*", [this](const httplib::Request& request, httplib::Response& response) {
                std::lock_guard guard(servedLock);
                served.push_back(request.target);
                if (request.path.find("missing") != std::string::npos) {
                    response.status = 404;
                    return;
                }
                response.set_content("movie at " + request.target, "application/x-shockwave-flash");
            });
        server.Start();
        host = std::make_unique<HostApplication>();
    }
    void TearDown() override {
        host.reset();
        WebBaseNetscapePluginView::UnregisterClass();
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    void Open(const std::string& name, const std::string& body) {
        pages[name] = "<html><body>" + body + "</body></html>";
        const Outcome<HostPage::Loaded>& result =
            host->openPage(*URL::URLWithString(server.Url("/page/" + name))).result();
        ASSERT_TRUE(result.ok()) << result.failure().message();
    }
    // Lets every started fetch end.
    void Settle(size_t expectedEntries) {
        RunLoop::Main().RunUntil([&] { return m_arraySWFUrl.size() >= expectedEntries; },
                                 std::chrono::seconds(20));
        RunLoop::Main().RunFor(std::chrono::milliseconds(300));
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const CapturedSWF& entry : m_arraySWFUrl) {
            names.push_back(entry.SWFName);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Captured(const std::string& name) const { return m_downSWFPath + "/" + name; }

    TempDir home;
    const char* previousHome = nullptr;
    LoopbackServer server;
    std::map<std::string, std::string> pages;
    std::mutex servedLock;
    std::vector<std::string> served; // written on the server's threads
    std::unique_ptr<HostApplication> host;
};

TEST_F(CaptureTest, TheCaptureRuleDecidesWhatIsFetchedAndUnderWhichName) {
    Open("index.html", R"(
        <embed src="/a/movie.swf" type="application/x-shockwave-flash">
        <embed src="/b/clip.swf?v=2">
        <object data="/c/player.php?file=intro.swf"></object>
        <embed src="/d/MOVIE.SWF">
        <embed src="/e/top.swf#top">
        <embed src="/f/player.js?x=1" type="application/x-shockwave-flash">)");
    Settle(3);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"clip.swf", "movie.swf", "player.php?file=intro.swf"}));
    EXPECT_EQ(m_downSWFPath, home.Path().string() + "/Documents/SWFHarvexData");
    EXPECT_EQ(ReadWholeFile(Captured("clip.swf")), "movie at /b/clip.swf?v=2"); // query fetched
    for (const CapturedSWF& entry : m_arraySWFUrl) {
        EXPECT_EQ(entry.SWFAddress.rfind(server.Url("/"), 0), 0U) << entry.SWFAddress;
    }
    EXPECT_EQ(served.size(), 3U) << "nothing else was fetched";
}

TEST_F(CaptureTest, TheHostInitialiserStillRunsWithTheSameArgumentsAndResult) {
    Open("index.html", R"(<embed src="/a/movie.swf" width="550" height="400">
                          <embed src="/a/notes.txt">)");
    Settle(1);
    const auto& views = WebBaseNetscapePluginView::InitialisedViews();
    const auto& shown = host->pages().back()->pluginViews();
    ASSERT_EQ(views.size(), 2U);
    ASSERT_EQ(shown.size(), 2U);
    for (size_t i = 0; i < views.size(); ++i) {
        EXPECT_EQ(static_cast<NSObject*>(views[i].get()), shown[i].get()); // result unchanged
        EXPECT_EQ(views[i]->initialiser(), WebBaseNetscapePluginView::kDOMElementInitialiser);
        EXPECT_EQ(NSStringFromSelector(views[i]->command()),
                  std::string("sb_") + WebBaseNetscapePluginView::kDOMElementInitialiser);
    }
    const PluginViewArguments& first = views[0]->arguments();
    EXPECT_EQ(first.frame, NSMakeRect(0, 0, 550, 400));
    EXPECT_EQ(dynamic_cast<NSURL*>(first.pluginURL.get())->absoluteString(),
              server.Url("/a/movie.swf"));
    EXPECT_EQ(Names(), std::vector<std::string>{"movie.swf"});
}

TEST_F(CaptureTest, OwnPagesAreNeverCapturedAndDuplicatesGiveOneEntry) {
    Open("SWFBrowser.html", R"(<embed src="/own/browser.swf">)");
    Open("AdBrowser.html", R"(<embed src="/own/ad.swf">)");
    Open("one.html", R"(<embed src="/a/movie.swf">)");
    Open("two.html", R"(<embed src="/a/movie.swf">)");
    Open("three.html", R"(<embed src="/other/movie.swf">)");
    Settle(1);
    EXPECT_EQ(Names(), std::vector<std::string>{"movie.swf"});
    EXPECT_TRUE(std::none_of(served.begin(), served.end(), [](const std::string& target) {
        return target.starts_with("/own/");
    }));
}

// Only the system's own pages by their exact names: a page that merely resembles one is a page
// like any other.
TEST_F(CaptureTest, OwnPageNamesMatchInTheirExactCaseOnly) {
    const std::vector<std::string> lookAlikes = {"swfbrowser.html", "ADBROWSER.HTML",
                                                 "SWFBrowser.htm", "MySWFBrowser.html"};
    for (size_t i = 0; i < lookAlikes.size(); ++i) {
        Open(lookAlikes[i], "<embed src=\"/look/" + std::to_string(i) + ".swf\">");
    }
    Settle(lookAlikes.size());
    EXPECT_EQ(Names(), (std::vector<std::string>{"0.swf", "1.swf", "2.swf", "3.swf"}));
}

TEST_F(CaptureTest, ACaptureFolderThatVanishedBetweenCapturesIsMadeAgain) {
    Open("one.html", R"(<embed src="/a/first.swf">)");
    Settle(1);
    ASSERT_TRUE(std::filesystem::exists(Captured("first.swf")));
    std::filesystem::remove_all(home.Path() / "Documents");

    Open("two.html", R"(<embed src="/a/second.swf">)");
    Settle(2);
    EXPECT_EQ(ReadWholeFile(Captured("second.swf")), "movie at /a/second.swf");
}

TEST_F(CaptureTest, FailedOrRefusedFetchesRecordNothing) {
    Open("index.html", R"(<embed src="/missing.swf"><embed src="file:///etc/hosts.swf">)");
    // Both are kept among the losses with their reasons once they have ended.
    std::map<std::string, std::string> lost;
    RunLoop::Main().RunUntil(
        [&] {
            for (const DownloadActivity::Loss& loss : DownloadActivity::Shared().Losses()) {
                lost[loss.url] = loss.reason;
            }
            return lost.size() >= 2;
        },
        std::chrono::seconds(20));
    EXPECT_NE(lost[server.Url("/missing.swf")].find("404"), std::string::npos);
    EXPECT_EQ(lost["file:///etc/hosts.swf"], "only http and https movies are fetched");
    EXPECT_TRUE(m_arraySWFUrl.empty());
    EXPECT_FALSE(std::filesystem::exists(Captured("missing.swf")));
    const auto* sheet = dynamic_cast<const NSAlert*>(host->mainWindow()->attachedSheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->messageText(), "Invalid or unsupported URL");
}

TEST_F(CaptureTest, TheOlderElementFormIsCapturedToo) {
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::ElementOnly);
    swizzleMethods({{std::string(WebBaseNetscapePluginView::kClassName),
                     std::string(WebBaseNetscapePluginView::kElementInitialiser), true}});
    Open("index.html", R"(<embed src="/a/movie.swf">)");
    Settle(1);
    EXPECT_EQ(Names(), std::vector<std::string>{"movie.swf"});
    EXPECT_EQ(WebBaseNetscapePluginView::InitialisedViews().size(), 1U);
}

TEST(CapturedFileNameTest, NamesFollowTheLastComponentOrTheSwfQuery) {
    EXPECT_EQ(CapturedFileName("http://h/a/movie.swf"), "movie.swf");
    EXPECT_EQ(CapturedFileName("http://h/a/movie.swf?v=2"), "movie.swf");
    EXPECT_EQ(CapturedFileName("http://h/player.php?file=movie.swf"), "player.php?file=movie.swf");
    EXPECT_EQ(CapturedFileName("http://h/x.swf?path=a/b/c"), "x.swf");
    EXPECT_EQ(CapturedFileName("http://h/a/MOVIE.SWF"), "");
    EXPECT_EQ(CapturedFileName("http://h/a/movie.swf#top"), "");
    EXPECT_EQ(CapturedFileName("http://h/script.js"), "");
}

} // namespace
