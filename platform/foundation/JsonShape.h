#pragma once

#include <algorithm>

#include <nlohmann/json.hpp>

// Whether a JSON value read from outside (a settings file, a browser's event) is an array whose
// every item is a string: the shape lists of paths and folders must have before they are used.
inline bool IsArrayOfStrings(const nlohmann::json& value) {
    return value.is_array() &&
           std::all_of(value.begin(), value.end(),
                       [](const nlohmann::json& item) { return item.is_string(); });
}

// A parser callback for JSON read from outside that keeps nothing nested deeper than `maxDepth`
// arrays and objects, and sets `tooDeep` when there was such a value: copying or writing a
// deeply nested value recurses once per level, so a crafted file would exhaust the stack.
// ParseBoundedJson (BoundedJson.h) does this with a size limit and a reason; prefer it.
inline nlohmann::json::parser_callback_t NestingLimit(int maxDepth, bool& tooDeep) {
    return [maxDepth, &tooDeep](int depth, nlohmann::json::parse_event_t event,
                                nlohmann::json& /*parsed*/) {
        if ((event == nlohmann::json::parse_event_t::object_start ||
             event == nlohmann::json::parse_event_t::array_start) &&
            depth >= maxDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    };
}
