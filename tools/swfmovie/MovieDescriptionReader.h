#pragma once

#include <string>

#include "MovieDescription.h"

// Reads the JSON description of a simple movie. One object, keys in any order, nothing else
// allowed (an unknown or repeated key is refused rather than ignored, so a typo cannot quietly
// change the movie):
//
//   {
//     "version": 10,             // SWF version, 1 to 255 (compressed: 6 or later; shapes: 3 or
//                                // later)
//     "width": 550,              // frame size in whole pixels, 1 to 8191
//     "height": 400,
//     "frameRate": 12.5,         // frames per second, above 0 and below 256; kept to the nearest
//                                // 1/256
//     "frames": 24,              // frame count, 1 to 65535
//     "compressed": true,        // optional, default false: "CWS" (zlib) instead of "FWS"
//     "background": "#1a1d23",   // optional: stage colour "#rrggbb" (without it the player's
//                                // default)
//     "shapes": [                // optional: filled rectangles, later ones drawn on top
//       { "x": 20, "y": 20,      // top-left corner in whole pixels, -8191 to 8191
//         "width": 100,          // size in whole pixels, 1 to 8191
//         "height": 50,
//         "color": "#ff8800" }   // "#rrggbb", or "#rrggbbaa" for a translucent fill
//     ],
//     "requests": [              // optional, at most 64: HTTP requests the movie makes as it
//                                // starts, in order (needs version 9 or later)
//       { "method": "POST",      // "GET" or "POST"
//         "url": "http://127.0.0.1:8080/x",   // 1 to 2048 bytes, no control characters
//                                             // but tab
//         "headers": {"X-Token": "1"},        // optional, at most 16: HTTP token names of up
//                                             // to 128 bytes, each once whatever its case;
//                                             // values of up to 1024 bytes, no control
//                                             // characters but tab
//         "body": "a=1" }        // optional, POST only: up to 16384 bytes, sent as given
//                                // (Ruffle sends a POST without a body as a GET)
//     ],
//     "loads": [                 // optional, at most 64, not with "requests": movies the first
//       { "url": "next.swf",     // frame's ActionScript 1 loads (getURL), in order; version 3
//         "target": "_level0" }  // or later; target optional, "_level0" (replaces the movie);
//                                // "variable": "next" instead of url loads the address that
//                                // variable holds (a flashvar), with getURL2
//     ]
//   }
//
// Every shape is in the first frame and stays for the rest. With "requests" (even an empty
// list) the movie is an ActionScript 3 one. Failures throw std::runtime_error whose message is
// the reason, naming the field: `width must be ...`, `shapes[1].color is missing`,
// `unknown key "colour" in shapes[0]`, `requests[0].body is only for POST requests`,
// `malformed JSON: ...`.
class MovieDescriptionReader {
public:
    static MovieDescription ReadFile(const std::string& path);
    static MovieDescription Parse(const std::string& text);
};
