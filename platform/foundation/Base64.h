#pragma once

#include <optional>
#include <string>
#include <string_view>

// Base64 (RFC 4648, with padding), as the browser's DevTools protocol carries bodies; none of our
// libraries offers it.
namespace base64 {

std::string Encode(std::string_view bytes);
// Nothing when `text` is not base64.
std::optional<std::string> Decode(std::string_view text);

} // namespace base64
