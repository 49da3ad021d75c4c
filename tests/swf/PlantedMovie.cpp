#include "PlantedMovie.h"

#include "SwfWriter.h"
#include "swf/TagCode.h"

namespace Planted {

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes Word(uint16_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

Bytes Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

Bytes U30(uint32_t value) {
    Bytes bytes;
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        bytes.push_back(value != 0 ? byte | 0x80 : byte);
    } while (value != 0);
    return bytes;
}

Bytes Tag(uint16_t code, const Bytes& body) {
    if (body.size() < 63) {
        return Word(static_cast<uint16_t>(code << 6 | body.size())) + body;
    }
    const auto size = static_cast<uint32_t>(body.size());
    return Word(static_cast<uint16_t>(code << 6 | 0x3F)) + Word(size & 0xFFFF) + Word(size >> 16) +
           body;
}

Bytes Action(uint8_t code, const Bytes& body) {
    return code >= 0x80 ? Bytes{code} + Word(static_cast<uint16_t>(body.size())) + body
                        : Bytes{code};
}

Bytes Sprite(uint16_t id, const Bytes& tags) {
    return Tag(CodeOf(TagCode::DefineSprite), Word(id) + Word(1) + tags + Word(0));
}

Bytes Movie(const Bytes& tags, uint8_t version) {
    return WithTrueLength(SwfWriter().Version(version).Fws() + tags + Word(0));
}

Bytes WithTrueLength(Bytes movie) {
    const auto size = static_cast<uint32_t>(movie.size());
    for (int i = 0; i < 4; ++i) {
        movie[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    return movie;
}

} // namespace Planted
