#pragma once

#include <cstdint>
#include <vector>

#include "swf/SWFBaseParse.h"

// Bodies of the tags a simple movie is made of: solid rectangles and their placement.
class ShapeTags {
public:
    // A DefineShape body (DefineShape3 when withAlpha) for character `id`: one solid fill of
    // `rgba` (0xRRGGBBAA; the alpha byte is written only withAlpha), no line, and a closed
    // rectangle of straight edges from (0, 0) to (width, height) in twips. Edges longer than
    // one record can hold are split.
    static std::vector<uint8_t> FilledRectangle(uint16_t id, int32_t width, int32_t height,
                                                uint32_t rgba, bool withAlpha);
    // A PlaceObject2 body putting character `id` at `depth`, transformed by `matrix`.
    static std::vector<uint8_t> PlaceObject2(uint16_t depth, uint16_t id, const MATRIX& matrix);

    // The longest straight edge one record holds: its delta is at most 17 signed bits.
    static constexpr int32_t kLongestEdge = 65535;
};
