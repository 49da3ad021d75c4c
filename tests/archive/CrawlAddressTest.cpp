#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crawl/CrawlScope.h"
#include "crawl/PageAddress.h"

namespace {

TEST(PageAddressTest, OneSpellingForTheSamePage) {
    const struct {
        const char* written;
        const char* normal; // "" when it is no page address
    } table[] = {
        {"HTTP://Example.COM/a", "http://example.com/a"},
        {"http://example.com", "http://example.com/"},
        {"http://example.com:80/a", "http://example.com/a"},
        {"https://example.com:443/a", "https://example.com/a"},
        {"https://example.com:8443/a", "https://example.com:8443/a"},
        {"http://example.com/a#part", "http://example.com/a"},
        {"http://example.com/a/./b/../c", "http://example.com/a/c"},
        {"http://example.com/%7euser/%2fx", "http://example.com/%7Euser/%2Fx"},
        {"http://example.com/a?b=2&a=1", "http://example.com/a?b=2&a=1"},
        {"http://example.com/a?", "http://example.com/a?"},
        {"http://example.com/A", "http://example.com/A"},
        {"ftp://example.com/a", ""},
        {"javascript:alert(1)", ""},
        {"not an address", ""},
    };
    for (const auto& row : table) {
        const std::optional<std::string> normal = page_address::Normalised(row.written);
        EXPECT_EQ(normal.value_or(""), row.normal) << row.written;
    }
    const std::optional<URL> base = URL::URLWithString("http://example.com/dir/page.html");
    ASSERT_TRUE(base);
    EXPECT_EQ(page_address::Normalised("../other.html#x", &*base).value_or(""),
              "http://example.com/other.html");
}

TEST(CrawlScopeTest, HostDomainAndPrefixWithPatterns) {
    const std::vector<std::string> seeds = {"http://www.site.org/games/index.html"};
    const struct {
        CrawlScope::Kind kind;
        std::vector<std::string> include;
        std::vector<std::string> exclude;
        const char* address;
        bool in;
    } table[] = {
        {CrawlScope::Kind::Host, {}, {}, "http://www.site.org/other.html", true},
        {CrawlScope::Kind::Host, {}, {}, "https://www.site.org/other.html", true},
        {CrawlScope::Kind::Host, {}, {}, "http://www.site.org:8080/other.html", false},
        {CrawlScope::Kind::Host, {}, {}, "http://cdn.site.org/a.html", false},
        {CrawlScope::Kind::Host, {}, {}, "http://www.site.org.evil.com/", false},
        {CrawlScope::Kind::Domain, {}, {}, "http://cdn.site.org/a.html", true},
        {CrawlScope::Kind::Domain, {}, {}, "http://site.org/a.html", true},
        {CrawlScope::Kind::Domain, {}, {}, "http://notsite.org/a.html", false},
        {CrawlScope::Kind::Prefix, {}, {}, "http://www.site.org/games/level/1.html", true},
        {CrawlScope::Kind::Prefix, {}, {}, "http://www.site.org/gamesx/1.html", false},
        {CrawlScope::Kind::Prefix, {}, {}, "http://www.site.org/", false},
        {CrawlScope::Kind::Host, {"/games/"}, {}, "http://www.site.org/news.html", false},
        {CrawlScope::Kind::Host, {"/games/"}, {}, "http://www.site.org/games/a.html", true},
        {CrawlScope::Kind::Host, {}, {"calendar\\?"}, "http://www.site.org/calendar?d=1", false},
        {CrawlScope::Kind::Host, {}, {"calendar\\?"}, "http://www.site.org/calendar", true},
    };
    for (const auto& row : table) {
        Outcome<CrawlScope> scope = CrawlScope::Make(row.kind, seeds, row.include, row.exclude);
        ASSERT_TRUE(scope) << scope.failure().message();
        EXPECT_EQ(scope.value().Contains(row.address), row.in) << row.address;
    }
    Outcome<CrawlScope> broken = CrawlScope::Make(CrawlScope::Kind::Host, seeds, {"(unclosed"});
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.failure().what, "(unclosed");
}

} // namespace
