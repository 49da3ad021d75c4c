#include "foundation/defaults/StringsFile.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "foundation/Log.h"

namespace {

struct GoodCase {
    const char* name;
    std::string text;
    std::string key;
    std::string value;
};

TEST(StringsFileTest, ReadsEntriesEscapesAndComments) {
    const std::vector<GoodCase> cases = {
        {"plain", R"("a" = "b";)", "a", "b"},
        {"spread over lines", "\n\t\"a\"\n=\n\"b\"\n;\n", "a", "b"},
        {"block comment", R"(/* "x" = "y"; */ "a" /* mid */ = "b";)", "a", "b"},
        {"line comment", "// \"a\" = \"wrong\";\n\"a\" = \"b\"; // tail", "a", "b"},
        {"escaped quote and backslash", R"("a" = "say \"hi\" \\ now";)", "a", "say \"hi\" \\ now"},
        {"control escapes", R"("a" = "1\n2\t3\r";)", "a", "1\n2\t3\r"},
        {"unicode escape", R"("a" = "caf\U00e9 \u20AC";)", "a", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"surrogate pair", R"("a" = "\UD83D\UDE00";)", "a", "\xF0\x9F\x98\x80"},
        {"lone surrogate", R"("a" = "\UD800x";)", "a", "\xEF\xBF\xBDx"},
        {"unknown escape keeps the character", R"("a" = "\q";)", "a", "q"},
        {"utf-8 text and byte-order mark", "\xEF\xBB\xBF\"\xC3\xA9\" = \"\xE2\x82\xAC\";",
         "\xC3\xA9", "\xE2\x82\xAC"},
        {"bare words", "Menu.Title = some_value;", "Menu.Title", "some_value"},
        {"key alone maps to itself", R"("Alert : OK";)", "Alert : OK", "Alert : OK"},
        {"later entry wins", R"("a" = "1"; "a" = "2";)", "a", "2"},
        {"empty value", R"("a" = "";)", "a", ""},
        {"key with spaces and colon", R"("Main : SeeMore btn" = "http://x/y";)",
         "Main : SeeMore btn", "http://x/y"},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        const StringsFile file = StringsFile::Parse(c.text);
        EXPECT_TRUE(file.ok()) << file.errorReason();
        ASSERT_EQ(file.entries().count(c.key), 1U);
        EXPECT_EQ(file.entries().at(c.key), c.value);
    }
    EXPECT_TRUE(StringsFile::Parse("").entries().empty());
    EXPECT_TRUE(StringsFile::Parse("  /* only */ // comments\n").ok());
}

struct BadCase {
    const char* name;
    std::string text;
    size_t line;
    std::string reasonPart;
    size_t kept; // entries parsed before the fault
};

TEST(StringsFileTest, MalformedInputKeepsEarlierEntriesAndNamesLineAndReason) {
    const std::vector<BadCase> cases = {
        {"missing semicolon", "\"a\" = \"1\";\n\"b\" = \"2\"\n\"c\" = \"3\";", 2, "';'", 1},
        {"unterminated string", "\"a\" = \"1\";\n\"b\" = \"2;\n\n", 2, "unterminated string", 1},
        {"unterminated comment", "\"a\" = \"1\";\n/* never closed", 2, "unterminated comment", 1},
        {"missing value", R"("a" = ;)", 1, "a value", 0},
        {"stray character", "\"a\" = \"1\";\n\n{", 3, "'{'", 1},
        {"garbage after key", R"("a" "b";)", 1, "'=' or ';'", 0},
        {"short unicode escape", R"("a" = "\U12";)", 1, "four hex digits", 0},
        {"invalid utf-8", "\"a\" = \"1\";\n\"b\" = \"\xC3\x28\";", 2, "UTF-8", 1},
        {"overlong utf-8", "\"a\" = \"\xC0\xAF\";", 1, "UTF-8", 0},
        {"utf-16 file", std::string("\xFF\xFE\"\0a\0", 6), 1, "UTF-16", 0},
        {"end after equals", "\"a\" = \"1\";\n\"b\" =", 2, "end of file", 1},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const StringsFile file = StringsFile::Parse(c.text);
        EXPECT_FALSE(file.ok());
        EXPECT_EQ(file.errorLine(), c.line);
        EXPECT_NE(file.errorReason().find(c.reasonPart), std::string::npos) << file.errorReason();
        EXPECT_EQ(file.entries().size(), c.kept);
        if (c.kept > 0) {
            EXPECT_EQ(file.entries().at("a"), "1");
        }
    }
}

TEST(StringsFileTest, LoadLogsOneLineForAMalformedFileAndNothingForAGoodOne) {
    TempDir dir;
    const std::string good = dir.Write("Good.strings", {'"', 'k', '"', '=', '"', 'v', '"', ';'});
    const std::string bad = dir.Write(
        "Bad.strings", {'"', 'k', '"', '=', '"', 'v', '"', ';', '\n', '"', 'x', '"', '='});
    LogCapture log;
    const std::optional<StringsFile> goodFile = StringsFile::Load(good);
    ASSERT_TRUE(goodFile);
    EXPECT_EQ(goodFile->entries().at("k"), "v");
    EXPECT_TRUE(log.Lines().empty());

    const std::optional<StringsFile> badFile = StringsFile::Load(bad);
    ASSERT_TRUE(badFile);
    EXPECT_EQ(badFile->entries().at("k"), "v");
    ASSERT_EQ(log.Lines().size(), 1U);
    EXPECT_NE(log.Lines()[0].find(bad + ":2:"), std::string::npos) << log.Lines()[0];

    EXPECT_FALSE(StringsFile::Load(dir / "Missing.strings"));
    EXPECT_FALSE(StringsFile::Load(dir.Path().string())); // a folder is not a table
}

} // namespace
