#include "swf/ImageBuffer.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

// Every byte from `from` up to and including the guard byte after the capacity is zero.
bool ZeroFrom(const ImageBuffer& image, uint64_t from) {
    for (uint64_t i = from; i <= image.Capacity(); ++i) {
        if (image.Data()[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(ImageBufferTest, GrowingKeepsTheContentsAndZeroFillsTheRest) {
    const uint64_t small = 1000;
    const uint64_t large = ImageBuffer::kMapThreshold + 12345;
    // From the heap within the heap, from the heap into a mapping, and within a mapping.
    const std::pair<uint64_t, uint64_t> steps[] = {
        {small, small * 3}, {small, large}, {large, large * 2}};
    for (auto [first, second] : steps) {
        ImageBuffer image;
        ASSERT_TRUE(image.Allocate(first));
        ASSERT_TRUE(ZeroFrom(image, 0));
        std::memset(image.Data(), 0xAB, first);
        ASSERT_TRUE(image.Grow(second));
        EXPECT_EQ(image.Capacity(), second);
        EXPECT_EQ(image.Data()[0], 0xAB);
        EXPECT_EQ(image.Data()[first - 1], 0xAB);
        EXPECT_TRUE(ZeroFrom(image, first)) << first << " -> " << second;
    }
}

TEST(ImageBufferTest, ReleaseAndReuse) {
    ImageBuffer image;
    ASSERT_TRUE(image.Grow(10)); // growing nothing allocates
    std::memset(image.Data(), 1, 10);
    ASSERT_TRUE(image.Allocate(ImageBuffer::kMapThreshold));
    EXPECT_TRUE(ZeroFrom(image, 0));
    image.Release();
    EXPECT_EQ(image.Data(), nullptr);
    EXPECT_EQ(image.Capacity(), 0U);
}

} // namespace
