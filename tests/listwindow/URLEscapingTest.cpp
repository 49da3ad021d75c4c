#include "listwindow/URLEscaping.h"

#include <gtest/gtest.h>

namespace {

TEST(URLEscapingTest, TheTableAndNonASCIIBytesAreEscapedAndNothingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"/data/a b#1?.swf", "/data/a%20b%231%3F.swf"},
        {"/d/;<>{}[]^|`\"\\", "/d/%3B%3C%3E%7B%7D%5B%5D%5E%7C%60%22%5C"},
        {"/d/100%.swf", "/d/100%.swf"}, // a percent sign stays
        {"/d/%41.swf", "/d/%41.swf"},   // an existing escape is never escaped twice
        {"/d/caf\xC3\xA9[1].swf", "/d/caf%c3%a9%5B1%5D.swf"},
        {"/d/-_.&'+,=@$:!()*~.swf", "/d/-_.&'+,=@$:!()*~.swf"},
        {"", ""},
    };
    for (const auto& [path, expected] : cases) {
        std::string input = path;
        EXPECT_EQ(convertString(input), expected) << path;
    }
}

TEST(URLEscapingTest, TheCallersStringHoldsTheFirstStage) {
    std::string path = "/d/\xC3\xA9 x.swf";
    EXPECT_EQ(convertString(path), "/d/%c3%a9%20x.swf");
    EXPECT_EQ(path, "/d/\xC3\xA9%20x.swf");
}

TEST(URLEscapingTest, PagesEscapeOnlySpacesBeforeTheNonASCIIBytes) {
    std::string path = "/b/Res ources/SWF#Browser\xC3\xA9.html";
    EXPECT_EQ(EscapePagePath(path), "/b/Res%20ources/SWF#Browser%c3%a9.html");
    EXPECT_EQ(path, "/b/Res%20ources/SWF#Browser\xC3\xA9.html");
}

} // namespace
