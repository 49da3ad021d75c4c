#include "foundation/JsonText.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kFFFD = "\xEF\xBF\xBD";

TEST(JsonTextTest, EachByteOutsideAValidSequenceBecomesOneReplacement) {
    const std::string r = kFFFD;
    const std::pair<std::string, std::string> cases[] = {
        {"plain ascii", "plain ascii"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\x9E", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\x9E"},
        {"a\xE9z", "a" + r + "z"},
        {"\x80", r},                         // a lone continuation byte
        {"\xC0\x80", r + r},                 // an overlong NUL
        {"\xE0\x80\xAF", r + r + r},         // an overlong slash
        {"\xED\xA0\x80", r + r + r},         // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // past U+10FFFF
        {"\xE2\x82", r + r},                 // cut at the end
        {"\xE2\x82z", r + r + "z"},          // cut before a plain byte
        {std::string("nul\0in", 6), std::string("nul\0in", 6)},
        {"\xFF\xFE", r + r},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(ValidUtf8(bytes), expected) << HexBytes(bytes);
        // Whatever goes in, the JSON library takes the result as it is.
        EXPECT_NO_THROW((void)nlohmann::json(ValidUtf8(bytes)).dump()) << HexBytes(bytes);
    }
}

TEST(JsonTextTest, OnlyATextThatChangedGetsItsExactBytes) {
    nlohmann::json object = nlohmann::json::object();
    PutText(object, "path", "/tmp/caf\xC3\xA9.swf");
    PutText(object, "name", "caf\xE9");
    EXPECT_EQ(object, (nlohmann::json{{"path", "/tmp/caf\xC3\xA9.swf"},
                                      {"name", std::string("caf") + kFFFD},
                                      {"nameHex", "636166e9"}}));
}

} // namespace
