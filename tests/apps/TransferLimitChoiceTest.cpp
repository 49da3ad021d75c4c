#include "swfharvex/TransferLimitChoice.h"

#include <sstream>

#include <gtest/gtest.h>

#include "swfharvex/CommandLine.h"

namespace {

TEST(TransferLimitChoiceTest, SizesReadAsBytesOrBinaryMultiples) {
    const struct {
        const char* text;
        std::optional<uint64_t> bytes;
    } cases[] = {
        {"0", 0},
        {"1500", 1500},
        {"900K", 900 << 10},
        {"512M", uint64_t{512} << 20},
        {"2g", uint64_t{2} << 30},
        {"", std::nullopt},
        {"M", std::nullopt},
        {"12X", std::nullopt},
        {"1.5G", std::nullopt},
        {"-1", std::nullopt},
        {"5MB", std::nullopt},
        {"17179869184G", std::nullopt}, // past 64 bits once multiplied
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Outcome<uint64_t> size = TransferLimitChoice::ParseSize(c.text);
        ASSERT_EQ(size.ok(), c.bytes.has_value());
        if (c.bytes) {
            EXPECT_EQ(size.value(), *c.bytes);
        }
    }
}

TEST(TransferLimitChoiceTest, UnreadableLimitIsAUsageErrorBeforeAnythingStarts) {
    for (const char* option : {"--max-movie-size", "--min-rate", "--transfer-timeout"}) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(CommandLine::Run({"capture", option, "lots", "http://127.0.0.1:9/"}, out, err),
                  CommandLine::kUsageError)
            << option;
        EXPECT_NE(err.str().find(option), std::string::npos) << err.str();
    }
}

} // namespace
