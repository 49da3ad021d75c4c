#pragma once

#include <string>

#include "Dissection.h"

// Reads one movie with the SWF parser's own primitives and describes it. Never fails outright
// on a readable header: a movie that turns hostile part-way gives what was read up to there,
// with `stoppedAt` saying where and why.
class Dissector {
public:
    // Bounds that keep a hostile movie's report within the parser's own memory ceiling.
    static constexpr size_t kMostTags = 1'000'000;
    static constexpr size_t kMostReferences = 100'000;
    static constexpr size_t kMostReferenceBytes = size_t{16} << 20;
    static constexpr int kDeepestSprite = 64;

    static Dissection Dissect(const std::string& path);
};
