#include "crawl/RobotsRules.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TempDir.h"

namespace {

// RFC 9309's own example (section 5.1), then files of our own.
constexpr const char* kRfcExample = "User-Agent: *\n"
                                    "Disallow: *.gif$\n"
                                    "Disallow: /example/\n"
                                    "Allow: /publications/\n"
                                    "\n"
                                    "User-Agent: foobot\n"
                                    "Disallow:/\n"
                                    "Allow:/example/page.html\n"
                                    "Allow:/example/allowed.gif\n"
                                    "\n"
                                    "User-Agent: barbot\n"
                                    "User-Agent: bazbot\n"
                                    "Disallow: /example/page.html\n"
                                    "\n"
                                    "User-Agent: quxbot\n";
constexpr const char* kLongest = "user-agent: *\r\n"
                                 "allow: /folder/page\r\n"
                                 "disallow: /folder/\r\n"
                                 "disallow: /page$\r\n"
                                 "allow: /same\r\n"
                                 "disallow: /same\r\n"
                                 "disallow: /*/private/*.swf\r\n"
                                 "disallow: /q?secret\r\n";
constexpr const char* kEscapes = "User-agent: swfharvex # our own group\n"
                                 "Disallow: /foo/bar/%E3%83%84\n"
                                 "Disallow: /%7Etilde/\n"
                                 "Disallow: /a%2fb\n"
                                 "Disallow: /sp ace\n"
                                 "Sitemap: http://example.com/sitemap.xml\n"
                                 "Disallow: /after-sitemap\n"
                                 "\n"
                                 "User-agent: *\n"
                                 "Disallow: /\n";
constexpr const char* kMerged = "User-agent: SWFHarvex\nDisallow: /one\n\n"
                                "User-agent: other\nDisallow: /two\n\n"
                                "User-agent: swfharvex\nDisallow: /three\n";
constexpr const char* kNothing =
    "# nothing but a comment\nnot a rule\nDisallow: /before-any-agent\n";

struct Case {
    const char* robots;
    const char* agent;
    const char* path;
    bool allowed;
    // Protego does not allow /robots.txt itself whatever the rules say, as RFC 9309 (2.2.2) does.
    bool protegoDiffers = false;
};

const std::vector<Case> kCases = {
    {kRfcExample, "foobot", "/", false},
    {kRfcExample, "foobot", "/example/page.html", true},
    {kRfcExample, "foobot", "/example/allowed.gif", true},
    {kRfcExample, "foobot", "/example/other.gif", false},
    {kRfcExample, "foobot", "/robots.txt", true, true},
    {kRfcExample, "barbot", "/example/page.html", false},
    {kRfcExample, "barbot", "/example/other.html", true},
    {kRfcExample, "bazbot", "/example/page.html", false},
    {kRfcExample, "bazbot", "/publications/x.gif", true},
    {kRfcExample, "quxbot", "/example/page.html", true},
    {kRfcExample, "quxbot", "/anything.gif", true},
    {kRfcExample, "swfharvex", "/example/page.html", false},
    {kRfcExample, "swfharvex", "/publications/paper.pdf", true},
    {kRfcExample, "swfharvex", "/images/a.gif", false},
    {kRfcExample, "swfharvex", "/images/a.gif?x=1", true},
    {kRfcExample, "swfharvex", "/images/a.gifx", true},
    {kRfcExample, "swfharvex", "/", true},
    {kLongest, "swfharvex", "/folder/page", true},
    {kLongest, "swfharvex", "/folder/page2.html", true},
    {kLongest, "swfharvex", "/folder/other", false},
    {kLongest, "swfharvex", "/folder", true},
    {kLongest, "swfharvex", "/page", false},
    {kLongest, "swfharvex", "/page/more", true},
    {kLongest, "swfharvex", "/same/thing", true},
    {kLongest, "swfharvex", "/x/private/y/game.swf", false},
    {kLongest, "swfharvex", "/x/private/game.swf.html", false},
    {kLongest, "swfharvex", "/x/public/game.swf", true},
    {kLongest, "swfharvex", "/q?secret=1", false},
    {kLongest, "swfharvex", "/q?open=1", true},
    {kEscapes, "swfharvex", "/foo/bar/%E3%83%84", false},
    {kEscapes, "swfharvex", "/foo/bar/%e3%83%84", false},
    {kEscapes, "swfharvex", "/foo/bar/baz", true},
    {kEscapes, "swfharvex", "/~tilde/page", false},
    {kEscapes, "swfharvex", "/%7etilde/page", false},
    {kEscapes, "swfharvex", "/a%2Fb", false},
    {kEscapes, "swfharvex", "/a/b", true},
    {kEscapes, "swfharvex", "/sp%20ace", false},
    {kEscapes, "swfharvex", "/after-sitemap", false},
    {kEscapes, "SWFHarvex/1.0", "/other", true},
    {kEscapes, "otherbot", "/other", false},
    {kMerged, "swfharvex", "/one", false},
    {kMerged, "swfharvex", "/two", true},
    {kMerged, "swfharvex", "/three", false},
    {kMerged, "other", "/two", false},
    {kMerged, "nobody", "/one", true},
    {kNothing, "swfharvex", "/before-any-agent", true},
    {"", "swfharvex", "/", true},
};

// What Protego answers for every case, or nothing when it is not installed.
std::vector<bool> ProtegoAnswers(const std::filesystem::path& folder) {
    nlohmann::json cases = nlohmann::json::array();
    for (const Case& c : kCases) {
        cases.push_back({{"robots", c.robots}, {"agent", c.agent}, {"path", c.path}});
    }
    const std::filesystem::path input = folder / "cases.json";
    FILE* file = std::fopen(input.c_str(), "w");
    const std::string text = cases.dump();
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    const std::string command =
        "/usr/bin/python3 '" HVX_ROBOTS_CHECKER "' < '" + input.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) {
        out.append(buffer, got);
    }
    pclose(pipe);
    const nlohmann::json answers = nlohmann::json::parse(out, nullptr, false);
    return answers.is_array() ? answers.get<std::vector<bool>>() : std::vector<bool>{};
}

// Each case as RFC 9309 reads it, and as an independent parser (Protego) does.
TEST(RobotsRulesTest, AgreesWithTheRfcAndAnIndependentParser) {
    ASSERT_GE(kCases.size(), 40U);
    TempDir temp;
    const std::vector<bool> protego = ProtegoAnswers(temp.Path());
    for (size_t i = 0; i < kCases.size(); ++i) {
        const Case& c = kCases[i];
        const bool ours = RobotsRules::Parse(c.robots, c.agent).Allows(c.path);
        EXPECT_EQ(ours, c.allowed) << c.agent << " " << c.path << " in\n" << c.robots;
        if (!protego.empty() && !c.protegoDiffers) {
            EXPECT_EQ(ours, protego.at(i))
                << "Protego differs: " << c.agent << " " << c.path << " in\n"
                << c.robots;
        }
    }
    if (protego.size() != kCases.size()) {
        GTEST_SKIP() << "Protego (Debian package python3-protego) did not answer";
    }
}

TEST(RobotsRulesTest, AnUnreachableFileForbidsAndAHugeOneIsReadOnlyToItsBound) {
    EXPECT_FALSE(RobotsRules::DisallowingAll().Allows("/page"));
    EXPECT_TRUE(RobotsRules::DisallowingAll().Allows("/robots.txt"));
    std::string huge = "User-agent: *\nDisallow: /early\n";
    huge.append(RobotsRules::kMostBytes, '#');
    huge += "\nDisallow: /late\n";
    const RobotsRules rules = RobotsRules::Parse(huge, "swfharvex");
    EXPECT_FALSE(rules.Allows("/early"));
    EXPECT_TRUE(rules.Allows("/late"));
    // A pattern of stars against a long path ends in time (no exponential backtracking).
    const RobotsRules stars =
        RobotsRules::Parse("User-agent: *\nDisallow: /" + std::string(200, '*') + "x$\n", "a");
    EXPECT_TRUE(stars.Allows("/" + std::string(100'000, 'a')));
}

} // namespace
