#pragma once

#include <cstdint>
#include <vector>

#include "MovieDescription.h"

// Turns a checked description into the bytes of its SWF file.
class MovieBuilder {
public:
    // Tags in order: FileAttributes (version 8 and later, where players expect it first; with
    // the ActionScript 3 and network flags when the movie makes requests), SetBackgroundColor
    // when given, a DefineShape (DefineShape3 with alpha) and a PlaceObject2 per rectangle at
    // depths 1, 2, ..., with requests a DoABC holding RequestMovieCode and a SymbolClass making
    // it the document class, one ShowFrame per frame, End.
    static std::vector<uint8_t> Build(const MovieDescription& movie);
};
