#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Tag and bytecode bytes for movies with known contents.
namespace Planted {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes left, const Bytes& right);
Bytes Word(uint16_t value);
Bytes Text(const std::string& text); // with its terminating zero
Bytes U30(uint32_t value);
// A tag as a movie holds it: short header below 63 bytes of body, long from there.
Bytes Tag(uint16_t code, const Bytes& body);
// One action record; codes from 0x80 on get their length.
Bytes Action(uint8_t code, const Bytes& body = {});
Bytes Sprite(uint16_t id, const Bytes& tags); // tags without the closing End
// A whole plain movie around `tags` (End added), its length field telling the truth.
Bytes Movie(const Bytes& tags, uint8_t version = 10);
// The bytes with the length field set to their size.
Bytes WithTrueLength(Bytes movie);

} // namespace Planted
