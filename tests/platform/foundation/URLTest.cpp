#include "foundation/URL.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(URLTest, ParsesPartsOfAbsoluteURLs) {
    const auto url = URL::URLWithString("HTTP://Example.com:8080/dir/movie.swf?a=1&b=2#top");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), "http://Example.com:8080/dir/movie.swf?a=1&b=2#top");
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->host(), "Example.com");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->path(), "/dir/movie.swf");
    EXPECT_EQ(url->query(), "a=1&b=2");
    EXPECT_EQ(url->fragment(), "top");
    EXPECT_TRUE(url->IsHTTP());

    const auto bare = URL::URLWithString("https://example.com");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->absoluteString(), "https://example.com/");
    EXPECT_EQ(bare->port(), std::nullopt);
    EXPECT_EQ(bare->path(), "/");
    EXPECT_EQ(bare->query(), "");
    EXPECT_EQ(bare->fragment(), "");
    EXPECT_TRUE(bare->IsHTTP());

    const auto local = URL::URLWithString("file:///tmp/a.swf");
    ASSERT_TRUE(local.has_value());
    EXPECT_FALSE(local->IsHTTP());
}

TEST(URLTest, RefusesWhatIsNotAnAbsoluteURL) {
    const std::string refused[] = {
        "",
        "/relative/a.swf",
        "a.swf",
        "http://exa mple.com/a.swf",
        "http://example.com/a b.swf",
        " http://example.com/a.swf",
        "http://example.com/a.swf\n",
        std::string("http://example.com/a\0b.swf", 26),
        "ht!tp://x",
        "http://[::1]:99999/x",
        "javascript:alert(1)",
        "data:application/x-shockwave-flash;base64,RldT",
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(URL::URLWithString(text).has_value()) << '"' << text << '"';
    }
}

TEST(URLTest, EncodesNonASCIIInPathAndQuery) {
    const auto url = URL::URLWithString("http://example.com/caf\xc3\xa9.swf?t=\xc3\xa9");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), "http://example.com/caf%C3%A9.swf?t=%C3%A9");
    // Already-encoded text is left alone.
    EXPECT_EQ(URL::URLWithString("http://example.com/a%20b.swf?x=a+b")->absoluteString(),
              "http://example.com/a%20b.swf?x=a+b");
}

TEST(URLTest, ResolvesReferencesAsAPageDoes) {
    const auto base = URL::URLWithString("http://host/dir/sub/page.html?x=1#old");
    ASSERT_TRUE(base.has_value());
    const std::pair<std::string, std::string> cases[] = {
        {"a.swf", "http://host/dir/sub/a.swf"},
        {"./a.swf", "http://host/dir/sub/a.swf"},
        {"../b.swf", "http://host/dir/b.swf"},
        {"../../../../c.swf", "http://host/c.swf"},
        {"/d.swf", "http://host/d.swf"},
        {"//other/e.swf", "http://other/e.swf"},
        {"?q=2", "http://host/dir/sub/page.html?q=2"},
        {"#frag", "http://host/dir/sub/page.html?x=1#frag"},
        {"", "http://host/dir/sub/page.html?x=1"},
        {"https://else.example/f.swf", "https://else.example/f.swf"},
        {"caf\xc3\xa9.swf", "http://host/dir/sub/caf%C3%A9.swf"},
        // One address written two ways is one address; an empty query stays as written.
        {"caf%c3%a9.swf", "http://host/dir/sub/caf%C3%A9.swf"},
        {"a%2fb.swf?q=%e9#%aa", "http://host/dir/sub/a%2Fb.swf?q=%E9#%AA"},
        {"Moxie.swf?", "http://host/dir/sub/Moxie.swf?"},
        {"Moxie.swf?#top", "http://host/dir/sub/Moxie.swf?#top"},
        {"Moxie.swf#a?", "http://host/dir/sub/Moxie.swf#a?"},
    };
    for (const auto& [reference, expected] : cases) {
        const auto resolved = URL::URLWithStringRelativeTo(reference, *base);
        ASSERT_TRUE(resolved.has_value()) << '"' << reference << '"';
        EXPECT_EQ(resolved->absoluteString(), expected) << '"' << reference << '"';
    }
    EXPECT_EQ(URL::URLWithStringRelativeTo("#frag", *base)->fragment(), "frag");
    EXPECT_FALSE(URL::URLWithStringRelativeTo("a b.swf", *base).has_value());
    EXPECT_FALSE(URL::URLWithStringRelativeTo("javascript:alert(1)", *base).has_value());
}

TEST(URLTest, MakesFileURLsOfAbsolutePathsOnly) {
    const struct {
        std::string path;
        std::optional<std::string> url;
    } cases[] = {
        {"/", "file:///"},
        {"/Users/u/My Movies/", "file:///Users/u/My%20Movies/"},
        {"/a/b#c?d%e.swf", "file:///a/b%23c%3Fd%25e.swf"},
        {"/caf\xC3\xA9", "file:///caf%C3%A9"},
        {"relative/folder", std::nullopt},
        {"~/Desktop", std::nullopt},
        {"", std::nullopt},
        {std::string("/a\0b", 4), std::nullopt},
    };
    for (const auto& each : cases) {
        const auto url = URL::fileURLWithPath(each.path);
        EXPECT_EQ(url ? std::optional(url->absoluteString()) : std::nullopt, each.url) << each.path;
    }
}

TEST(URLTest, IsACopyableValue) {
    auto first = URL::URLWithString("http://host/a.swf");
    ASSERT_TRUE(first.has_value());
    const URL copy = *first;
    first = URL::URLWithString("http://host/b.swf");
    EXPECT_EQ(copy.path(), "/a.swf");
    EXPECT_EQ(first->path(), "/b.swf");
    EXPECT_FALSE(copy == *first);
}

} // namespace
