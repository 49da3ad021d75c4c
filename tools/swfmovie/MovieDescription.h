#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A simple movie as swfmovie writes it, checked and in SWF units (see MovieDescriptionReader.h
// for the JSON it comes from).
struct MovieDescription {
    struct Rectangle {
        // Top-left corner and size, in twips.
        int32_t x = 0;
        int32_t y = 0;
        int32_t width = 0;
        int32_t height = 0;
        uint32_t rgba = 0xFF; // 0xRRGGBBAA
        // The colour was given with its alpha, so the shape needs DefineShape3.
        bool withAlpha = false;
    };

    // An HTTP request the movie's code makes when it starts.
    struct Request {
        std::string method; // "GET" or "POST"
        std::string url;
        // Name and value, in the description's order.
        std::vector<std::pair<std::string, std::string>> headers;
        std::optional<std::string> body; // POST only
    };

    // A movie the old virtual machine's code loads as the movie starts (getURL with a target).
    struct Load {
        std::string url;      // as written in the code; "" when `variable` gives it
        std::string variable; // the address is this variable's value (a flashvar, say)
        std::string target;   // "_level0" replaces the movie; "_level1" lays it on top
    };

    uint8_t version = 10;
    // Frame size in pixels.
    int32_t width = 0;
    int32_t height = 0;
    uint16_t frameRate = 0; // 8.8 fixed point
    uint16_t frames = 1;
    bool compressed = false;
    std::optional<uint32_t> background; // 0xRRGGBB
    std::vector<Rectangle> shapes;
    // Given (even empty), the movie is an ActionScript 3 one whose document class makes these
    // requests in order as it is constructed.
    std::optional<std::vector<Request>> requests;
    // Loads in order in the first frame's actions (ActionScript 1/2; not with `requests`).
    std::vector<Load> loads;
};
