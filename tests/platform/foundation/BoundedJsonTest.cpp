#include "foundation/BoundedJson.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

std::string Nested(size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

TEST(BoundedJsonTest, ParsesWithinTheLimitsAndRefusesPastThemWithTheReason) {
    const JsonLimits limits{32, 3};
    const struct {
        std::string text;
        std::string why; // empty: parsed
    } table[] = {
        {R"({"a":[{"b":1}]})", ""},
        {"[[[]]]", ""},
        {std::string(32, ' '), "malformed JSON: parse error at line 1, column 33: syntax error "
                               "while parsing value - unexpected end of input; expected '[', "
                               "'{', or a literal"},
        {"[[[[]]]]", "values nested deeper than 3 levels"},
        {R"({"a":{"b":{"c":{}}}})", "values nested deeper than 3 levels"},
        {std::string(33, ' ') + "1", "larger than 32 bytes"},
        // The parser's note of the bytes it last read is left out: they need not be text.
        {"[\xff]", "malformed JSON: parse error at line 1, column 2: syntax error while parsing "
                   "value - invalid literal"},
        {"1e999", "malformed JSON: number overflow parsing '1e999'"},
    };
    for (const auto& row : table) {
        Outcome<json> parsed = ParseBoundedJson(row.text, limits, "the input");
        if (row.why.empty()) {
            ASSERT_TRUE(parsed) << row.text << ": " << parsed.failure().why;
            EXPECT_EQ(parsed.value(), json::parse(row.text));
        } else {
            ASSERT_FALSE(parsed) << row.text;
            EXPECT_EQ(parsed.failure().what, "the input");
            EXPECT_EQ(parsed.failure().why, row.why);
        }
    }
}

TEST(BoundedJsonTest, AMillionLevelsStopAtTheLimit) {
    const std::string deep = Nested(1000000);
    Outcome<json> parsed = ParseBoundedJson(deep, {deep.size(), 64}, "deep.json");
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.failure().why, "values nested deeper than 64 levels");
}

TEST(BoundedJsonTest, SizesAreNamedInTheLargestWholeUnit) {
    constexpr size_t kKiB = 1024;
    EXPECT_EQ(LargerThan(kKiB * kKiB), "larger than 1 MiB");
    EXPECT_EQ(LargerThan(16 * kKiB * kKiB), "larger than 16 MiB");
    EXPECT_EQ(LargerThan(64 * kKiB), "larger than 64 KiB");
    EXPECT_EQ(LargerThan(1536 * kKiB), "larger than 1536 KiB");
    EXPECT_EQ(LargerThan(1000), "larger than 1000 bytes");
}

} // namespace
