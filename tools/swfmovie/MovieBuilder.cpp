#include "MovieBuilder.h"

#include "ShapeTags.h"
#include "SwfWriter.h"

std::vector<uint8_t> MovieBuilder::Build(const MovieDescription& movie) {
    SwfWriter writer;
    writer.Version(movie.version)
        .FrameSizePixels(movie.width, movie.height)
        .FrameRate(movie.frameRate)
        .FrameCount(movie.frames);
    if (movie.version >= 8) {
        // No ActionScript 3, no network access: a plain local movie.
        writer.Tag(ShapeTags::kFileAttributes, {0, 0, 0, 0});
    }
    if (movie.background) {
        uint32_t rgb = *movie.background;
        writer.BackgroundColor(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                               static_cast<uint8_t>(rgb));
    }
    uint16_t number = 0;
    for (const MovieDescription::Rectangle& shape : movie.shapes) {
        ++number; // character id and depth alike
        writer.Tag(shape.withAlpha ? ShapeTags::kDefineShape3 : ShapeTags::kDefineShape,
                   ShapeTags::FilledRectangle(number, shape.width, shape.height, shape.rgba,
                                              shape.withAlpha));
        MATRIX place{0x10000, 0, 0, 0x10000, shape.x, shape.y};
        writer.Tag(ShapeTags::kPlaceObject2, ShapeTags::PlaceObject2(number, number, place));
    }
    for (uint16_t frame = 0; frame < movie.frames; ++frame) {
        writer.ShowFrame();
    }
    writer.End();
    return movie.compressed ? writer.Cws(9) : writer.Fws();
}
