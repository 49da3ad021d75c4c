#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

// The movie player's files (Ruffle) as the host's pages get them: the page's player script asks
// for them under an origin that no network has, and the host answers from the player's folder
// through the browser's request interception. Nothing outside the folder is ever answered.
namespace player_files {

inline constexpr const char* kOrigin = "https://swfharvex-player.invalid";
// The URL pattern the browser pauses requests for.
inline constexpr const char* kPattern = "https://swfharvex-player.invalid/*";

// The parameters of Fetch.fulfillRequest (without the request id): `body` as `type`, readable by
// the scripts of `readableBy` ("*": of any page, without credentials). The player's script loads
// its core with fetch and import from the page's origin.
nlohmann::json Fulfilment(int code, const std::string& type, const std::string& body,
                          const std::string& readableBy = "*");

// The parameters of Fetch.fulfillRequest (without the request id) answering `url` from `root`:
// the file with its type, or a 404 naming nothing of the folder.
nlohmann::json Answer(const std::filesystem::path& root, const std::string& url);

} // namespace player_files
