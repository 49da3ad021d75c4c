#include "swf/TagCode.h"

#include <string>

#include <gtest/gtest.h>

// Reports print these names and are compared with an independent parser's: the names, the gaps
// between them and the end of the table must not move.
TEST(TagCodeTest, NamesAsTheFormatSpellsThemAndUnknownElsewhere) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0, "End"},
        {9, "SetBackgroundColor"},
        {27, "Unknown"},
        {30, "Unknown"},
        {41, "ProductInfo"},
        {44, "Unknown"},
        {53, "Unknown"},
        {67, "Unknown"},
        {72, "DoABCDefine"},
        {82, "DoABC"},
        {86, "DefineSceneAndFrameLabelData"},
        {92, "Unknown"},
        {94, "PlaceObject4"},
        {95, "Unknown"},
        {1023, "Unknown"},
    };
    for (const auto& [code, name] : cases) {
        EXPECT_STREQ(TagName(code), name) << code;
    }
    EXPECT_STREQ(TagName(TagCode::DefineBitsJPEG4), "DefineBitsJPEG4");
    int named = 0;
    for (uint16_t code = 0; code < 1024; ++code) {
        named += std::string(TagName(code)) != "Unknown" ? 1 : 0;
    }
    EXPECT_EQ(named, 82);
}
