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
