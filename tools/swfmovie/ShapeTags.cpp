#include "ShapeTags.h"

#include <algorithm>
#include <stdexcept>

#include "BitWriter.h"
#include "SwfWriter.h"

namespace {

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// Horizontal or vertical edges, split into pieces a record can hold.
void StraightEdges(BitWriter& bits, bool vertical, int32_t delta) {
    while (delta != 0) {
        int32_t piece = std::clamp(delta, -ShapeTags::kLongestEdge, ShapeTags::kLongestEdge);
        delta -= piece;
        // The width field stores the delta's bit count less two.
        int width = std::max(BitWriter::SignedWidth({piece}), 2);
        bits.WriteBits(1, 1); // edge record
        bits.WriteBits(1, 1); // straight
        bits.WriteBits(static_cast<uint32_t>(width - 2), 4);
        bits.WriteBits(0, 1); // not a general line: one delta only
        bits.WriteBits(vertical ? 1 : 0, 1);
        bits.WriteSigned(piece, width);
    }
}

} // namespace

std::vector<uint8_t> ShapeTags::FilledRectangle(uint16_t id, int32_t width, int32_t height,
                                                uint32_t rgba, bool withAlpha) {
    if (width <= 0 || height <= 0) {
        throw std::invalid_argument("a rectangle needs a positive width and height");
    }
    std::vector<uint8_t> body;
    AppendU16(body, id);
    std::vector<uint8_t> bounds = SwfWriter::Rect(0, width, 0, height);
    body.insert(body.end(), bounds.begin(), bounds.end());

    body.push_back(1);    // fill styles
    body.push_back(0x00); // solid
    body.push_back(static_cast<uint8_t>(rgba >> 24));
    body.push_back(static_cast<uint8_t>(rgba >> 16));
    body.push_back(static_cast<uint8_t>(rgba >> 8));
    if (withAlpha) {
        body.push_back(static_cast<uint8_t>(rgba));
    }
    body.push_back(0); // line styles

    BitWriter bits;
    bits.WriteBits(1, 4); // fill style index bits
    bits.WriteBits(0, 4); // line style index bits
    // Style change: fill style 1 on, pen stays at the origin.
    bits.WriteBits(0, 1); // non-edge record
    bits.WriteBits(0, 1); // new styles
    bits.WriteBits(0, 1); // line style
    bits.WriteBits(1, 1); // fill style 1
    bits.WriteBits(0, 1); // fill style 0
    bits.WriteBits(0, 1); // move to
    bits.WriteBits(1, 1); // fill style 1 = the solid fill
    // Clockwise on screen, so the fill lies to the right of every edge.
    StraightEdges(bits, false, width);
    StraightEdges(bits, true, height);
    StraightEdges(bits, false, -width);
    StraightEdges(bits, true, -height);
    bits.WriteBits(0, 6); // end of shape
    std::vector<uint8_t> records = bits.Take();
    body.insert(body.end(), records.begin(), records.end());
    return body;
}

std::vector<uint8_t> ShapeTags::PlaceObject2(uint16_t depth, uint16_t id, const MATRIX& matrix) {
    constexpr uint8_t kHasMatrix = 0x04;
    constexpr uint8_t kHasCharacter = 0x02;
    std::vector<uint8_t> body = {kHasMatrix | kHasCharacter};
    AppendU16(body, depth);
    AppendU16(body, id);
    bool hasScale = matrix.scaleX != 0x10000 || matrix.scaleY != 0x10000;
    bool hasRotate = matrix.rotateSkew0 != 0 || matrix.rotateSkew1 != 0;
    std::vector<uint8_t> transform = SwfWriter::Matrix(matrix, hasScale, hasRotate);
    body.insert(body.end(), transform.begin(), transform.end());
    return body;
}
