#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

// The variable-length and fixed-width numbers an ActionScript 3 byte code file is made of.
namespace AbcEncoding {

// The largest u30: counts and indices take at most 30 bits.
constexpr uint32_t kLargestU30 = (1U << 30) - 1;

// Seven bits a byte, least significant first; the top bit says another byte follows.
inline void AppendU30(std::vector<uint8_t>& out, uint32_t value) {
    if (value > kLargestU30) {
        throw std::length_error("a count or index does not fit in 30 bits");
    }
    do {
        auto byte = static_cast<uint8_t>(value & 0x7FU);
        value >>= 7;
        out.push_back(value != 0 ? static_cast<uint8_t>(byte | 0x80U) : byte);
    } while (value != 0);
}

inline void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// A branch offset: three bytes, little-endian, two's complement.
inline void PutS24(std::vector<uint8_t>& out, size_t at, int32_t value) {
    if (value < -(1 << 23) || value >= (1 << 23)) {
        throw std::length_error("a branch offset does not fit in 24 bits");
    }
    auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 3; ++i) {
        out.at(at + i) = static_cast<uint8_t>(bits >> (8 * i));
    }
}

// A string_info: its UTF-8 length as a u30, then the bytes (no terminator).
inline void AppendString(std::vector<uint8_t>& out, std::string_view text) {
    if (text.size() > kLargestU30) {
        throw std::length_error("a string is longer than 30 bits can count");
    }
    AppendU30(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace AbcEncoding
