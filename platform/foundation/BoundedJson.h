#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "foundation/Outcome.h"

// How much JSON from outside (a file, a browser's request) is read: a text past `mostBytes` is
// refused unread, and a value nested deeper than `mostDepth` arrays and objects stops the parse
// there, before anything deeper is built: copying, comparing or writing such a value recurses
// once per level, so a crafted text would exhaust the stack.
struct JsonLimits {
    size_t mostBytes;
    int mostDepth;
};

// `text` as one JSON value within `limits`; otherwise a Failure naming `what` (a file's path, a
// request) and the reason: "larger than 1 MiB", "values nested deeper than 64 levels" or
// "malformed JSON: parse error at line 1, column 7: …".
Outcome<nlohmann::json> ParseBoundedJson(std::string_view text, const JsonLimits& limits,
                                         const std::string& what);

// The reason a text of more than `mostBytes` is refused, for readers that stop reading there.
std::string LargerThan(size_t mostBytes);
