#include "foundation/Base64.h"

#include <array>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string base64::Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16U |
                           static_cast<unsigned char>(bytes[i + 1]) << 8U |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (const unsigned shift : {18U, 12U, 6U, 0U}) {
            text.push_back(kAlphabet[(n >> shift) & 63U]);
        }
    }
    if (const size_t left = bytes.size() - i; left > 0) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16U |
                           (left == 2 ? static_cast<unsigned char>(bytes[i + 1]) << 8U : 0U);
        text.push_back(kAlphabet[(n >> 18U) & 63U]);
        text.push_back(kAlphabet[(n >> 12U) & 63U]);
        text.push_back(left == 2 ? kAlphabet[(n >> 6U) & 63U] : '=');
        text.push_back('=');
    }
    return text;
}

std::optional<std::string> base64::Decode(std::string_view text) {
    std::array<int, 256> values{};
    values.fill(-1);
    for (size_t i = 0; i < kAlphabet.size(); ++i) {
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    }
    while (!text.empty() && text.back() == '=') {
        text.remove_suffix(1);
    }
    if (text.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0;
    unsigned count = 0;
    for (const char c : text) {
        const int value = values[static_cast<unsigned char>(c)];
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6U) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xFFU));
        }
    }
    return bytes;
}
