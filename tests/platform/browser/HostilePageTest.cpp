#include <chrono>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "PageServer.h"
#include "PluginViewTestSupport.h"
#include "TempDir.h"
#include "browser/DOMElement.h"
#include "browser/static/WebPageLoader.h"

namespace {

using View = WebBaseNetscapePluginView;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

std::string Repeated(const std::string& text, size_t times) {
    std::string repeated;
    repeated.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

class HostilePageTest : public ::testing::Test {
protected:
    void SetUp() override { View::RegisterClass(PluginViewInitialisers::Both); }
    void TearDown() override { View::UnregisterClass(); }

    PageServer server;
};

// Pages the parser cannot read in bounded time and memory fail alone, with their reason, and
// within their time limit; the next page of the run loads as usual.
TEST_F(HostilePageTest, APageTooDeepToReadFailsAloneWithinItsLimit) {
    struct Case {
        const char* name;
        std::string html;
        std::chrono::milliseconds limit;
        const char* reason;
    };
    const Case cases[] = {
        // The parser's memory grows with the square of this depth (gigabytes at 20,000), and
        // tearing its tree down recurses as deep.
        {"objects", Repeated("<object>", 300'000) + "<embed src=deep.swf>",
         std::chrono::seconds(30), "reading the page needs more than 128 MB of memory"},
        // Parsing this takes far longer than the limit.
        {"divs", Repeated("<div>", 1'000'000), std::chrono::seconds(2),
         "reading the page took longer than 2 s (--page-timeout)"},
    };
    server.Page("/normal.html", "<embed src=a.swf width=5><object data=b.swf></object>");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = std::string("/") + c.name + ".html";
        server.Page(path, c.html);
        WebPageLoader loader(PageFetcher::Options{.timeout = c.limit});

        const auto started = Clock::now();
        Outcome<HostPage::Loaded> result = loader.load(server.URL(path));
        EXPECT_LT(Clock::now() - started, c.limit + std::chrono::seconds(5));
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failure().message().rfind("Could not load " + server.URL(path) + ": ", 0),
                  0U)
            << result.failure().message();
        EXPECT_NE(result.failure().message().find(c.reason), std::string::npos)
            << result.failure().message();

        View::ClearInitialisedViews();
        result = loader.load(server.URL("/normal.html"));
        ASSERT_TRUE(result.ok()) << result.failure().message();
        EXPECT_EQ(InitialisedURLs(), (Strings{server.URL("/a.swf"), server.URL("/b.swf")}));
        EXPECT_EQ(Texts(ArgumentsOf(0).attributeKeys), (Strings{"src", "width"}));
    }
}

TEST_F(HostilePageTest, LocalPagesThatAreNotFilesAreRefusedAtOnce) {
    const TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir / "fifo", dir / "fifo" + " is not a regular file (a FIFO)"},
        {dir / "folder", dir / "folder" + " is a folder"},
    };
    WebPageLoader loader(PageFetcher::Options{.timeout = std::chrono::seconds(2)});
    for (const auto& c : cases) {
        const std::string url = "file://" + c.path;
        const auto started = Clock::now();
        const Outcome<HostPage::Loaded> result = loader.load(url);
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(result.failure().message(), "Could not load " + url + ": " + c.reason);
    }
}

// A page that is itself a movie holds it as one full-page <embed>, as a browser shows it.
TEST_F(HostilePageTest, AMoviePageHoldsItsMovieAsOneFullPageEmbed) {
    const std::string movie = "FWS\x0a" + std::string(200, '\x01');
    const struct {
        const char* contentType;
        std::string body;
        const char* embedType; // nullptr: read as a page
    } cases[] = {
        {"application/x-shockwave-flash", movie, "application/x-shockwave-flash"},
        {"application/futuresplash; charset=x", movie, "application/futuresplash"},
        {"application/octet-stream", "CWS" + movie.substr(3), "application/x-shockwave-flash"},
        {"", "ZWS" + movie.substr(3), "application/x-shockwave-flash"},
        {"text/html", movie, nullptr},
        {"application/octet-stream", "<embed src=a.swf>", nullptr},
    };
    WebPageLoader loader;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.contentType) + " " + c.body.substr(0, 3));
        server.Page("/m/movie.swf", c.body, c.contentType);
        View::ClearInitialisedViews();
        const std::string url = server.URL("/m/movie.swf");
        const Outcome<HostPage::Loaded> result = loader.load(url);
        ASSERT_TRUE(result.ok()) << result.failure().message();
        if (c.embedType == nullptr) {
            EXPECT_NE(InitialisedURLs(), Strings{url});
            continue;
        }
        ASSERT_EQ(result.value().pluginViewCount, 1U);
        const PluginViewArguments& arguments = ArgumentsOf(0);
        EXPECT_EQ(URLText(arguments.pluginURL), url);
        EXPECT_EQ(URLText(arguments.baseURL), url);
        EXPECT_EQ(Text(arguments.mimeType), c.embedType);
        EXPECT_EQ(Texts(arguments.attributeKeys), (Strings{"src", "type", "width", "height"}));
        EXPECT_EQ(Texts(arguments.attributeValues), (Strings{url, c.embedType, "100%", "100%"}));
        EXPECT_EQ(dynamic_cast<const DOMElement*>(arguments.element.get())->tagName(), "embed");
    }

    const TempDir dir;
    { std::ofstream(dir / "local.swf", std::ios::binary) << movie; }
    const std::string local = "file://" + (dir / "local.swf");
    View::ClearInitialisedViews();
    ASSERT_TRUE(loader.load(local).ok());
    EXPECT_EQ(InitialisedURLs(), Strings{local});
}

} // namespace
