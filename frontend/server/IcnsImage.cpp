#include "IcnsImage.h"

#include <cstdint>

namespace {

constexpr size_t kHeaderSize = 8;
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

uint32_t BigEndian32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8U) | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

} // namespace

Outcome<std::string> LargestPngInIcns(std::string_view container) {
    if (container.size() < kHeaderSize || container.substr(0, 4) != "icns") {
        return Failure{"the icon", "not an icns container"};
    }
    const uint32_t declared = BigEndian32(container, 4);
    if (declared < kHeaderSize || declared > container.size()) {
        return Failure{"the icon", "its length does not match its size"};
    }
    const std::string_view body = container.substr(0, declared);
    std::string_view largest;
    for (size_t at = kHeaderSize; at + kHeaderSize <= body.size();) {
        const uint32_t length = BigEndian32(body, at + 4);
        if (length < kHeaderSize || length > body.size() - at) {
            return Failure{"the icon", "an entry runs past the end"};
        }
        const std::string_view data = body.substr(at + kHeaderSize, length - kHeaderSize);
        if (data.substr(0, kPngSignature.size()) == kPngSignature && data.size() > largest.size()) {
            largest = data;
        }
        at += length;
    }
    if (largest.empty()) {
        return Failure{"the icon", "holds no PNG image"};
    }
    return std::string(largest);
}
