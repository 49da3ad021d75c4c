#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "swf/MovieFacts.h"
#include "swf/MovieReferences.h"

// Everything dissecta learns about one movie: the header facts as `swfharvex info` shows them,
// every tag in file order, a summary, and what the movie needs from outside.
struct Dissection {
    struct Tag {
        uint32_t offset = 0; // of the tag's header, from the start of the (inflated) movie
        uint16_t code = 0;
        const char* name = "";
        uint32_t length = 0; // of the tag's body, as its header declares it
        int depth = 0;       // 0 for the movie's own tags, 1 inside a sprite, and so on
    };

    using Reference = MovieReference;

    struct Summary {
        int shapes = 0;
        int bitmaps = 0;
        int sounds = 0;
        int fonts = 0;
        int texts = 0;
        int sprites = 0;
        int buttons = 0;
        int frames = 0;       // the movie's own ShowFrame tags
        bool hasAVM1 = false; // bytecode for the old virtual machine (ActionScript 1 and 2)
        bool hasAVM2 = false; // for the new one (ActionScript 3)
        int minVersion = 0;   // the lowest player version the tags need
    };

    // Where reading stopped before the movie's end, and why.
    struct Stop {
        uint32_t offset = 0;
        std::string reason;
    };

    MovieFacts facts; // facts.error set: the file is no movie, nothing else is filled
    std::vector<Tag> tags;
    Summary summary;
    std::vector<Reference> references;
    size_t referencesLeftOut = 0; // past the bound on what a report keeps
    std::optional<Stop> stoppedAt;

    bool Readable() const { return facts.Ok(); }
};
