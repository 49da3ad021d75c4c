#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// File names and addresses are bytes, and JSON strings must be UTF-8. A text that is not valid
// UTF-8 is written with each invalid byte as U+FFFD, and its exact bytes go beside it in hex
// under the key with "Hex" appended, so nothing is lost and nothing aborts the output.

// `bytes` with every byte that does not belong to a valid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// Lower-case hex digits of every byte, two per byte.
std::string HexBytes(std::string_view bytes);

// Sets object[key] to `bytes` made valid, and object[key + "Hex"] to the exact bytes when they
// were not valid UTF-8 already.
void PutText(nlohmann::json& object, const std::string& key, std::string_view bytes);
