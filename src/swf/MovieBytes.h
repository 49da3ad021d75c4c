#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "swf/SWFBaseParse.h"

// Little-endian fields and counted strings, read with the parser's own cursor and primitives.
// Like the parser's reads, none of them leaves the image: past its end everything reads as zero.
namespace MovieBytes {

inline uint8_t Byte(CSWFBaseParse& parser) {
    parser.InitBits();
    return static_cast<uint8_t>(parser.GetBits(8));
}

inline uint16_t Word(CSWFBaseParse& parser) {
    const uint8_t low = Byte(parser);
    return static_cast<uint16_t>(low | (Byte(parser) << 8));
}

// The variable-length unsigned integer of the new virtual machine's bytecode (1 to 5 bytes).
inline uint32_t U30(CSWFBaseParse& parser) {
    uint32_t value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        const uint8_t byte = Byte(parser);
        value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    return value;
}

// Where the parsed movie's tags end: a compressed movie's declared length; a plain movie's file
// may be shorter than its header says, and past the parser's ceiling nothing is held.
inline uint32_t MovieEnd(const CSWFBaseParse& parser) {
    const uint64_t held = parser.HeldBytes() > CSWFBaseParse::kTailPadding
                              ? parser.HeldBytes() - CSWFBaseParse::kTailPadding
                              : 0;
    return static_cast<uint32_t>(parser.m_isCompressed
                                     ? parser.m_dataLength
                                     : std::min<uint64_t>(parser.m_dataLength, held));
}

inline uint32_t Position(const CSWFBaseParse& parser) {
    return static_cast<uint32_t>(parser.m_pos);
}

inline void MoveTo(CSWFBaseParse& parser, uint64_t position) {
    parser.InitBits();
    parser.m_pos = static_cast<int32_t>(static_cast<uint32_t>(position));
}

// The zero-terminated string at the cursor, looked for before `end` only (the parser's own
// GetString reads to the next zero anywhere in the image, which a hostile movie can put far
// away); without a terminator, the bytes up to `end`. The cursor moves past it.
inline std::string String(CSWFBaseParse& parser, uint32_t end) {
    const uint32_t at = Position(parser);
    if (at >= end) {
        return {};
    }
    const auto* start = reinterpret_cast<const char*>(parser.m_data) + at;
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, end - at));
    const size_t length = zero != nullptr ? static_cast<size_t>(zero - start) : end - at;
    MoveTo(parser, uint64_t{at} + length + 1);
    return {start, length};
}

// `length` bytes at the cursor when they lie before `end`, which the caller keeps within the
// image; the cursor moves past them.
inline bool Counted(CSWFBaseParse& parser, uint64_t length, uint32_t end, std::string& into) {
    const uint64_t at = Position(parser);
    if (at + length > end) {
        return false;
    }
    into.assign(reinterpret_cast<const char*>(parser.m_data) + at, static_cast<size_t>(length));
    MoveTo(parser, at + length);
    return true;
}

} // namespace MovieBytes
