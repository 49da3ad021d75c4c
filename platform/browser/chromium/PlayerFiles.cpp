#include "browser/chromium/PlayerFiles.h"

#include <fstream>
#include <iterator>

#include "foundation/Base64.h"

namespace fs = std::filesystem;

namespace {

std::string TypeOf(const fs::path& file) {
    const std::string extension = file.extension().string();
    if (extension == ".js") {
        return "text/javascript";
    }
    if (extension == ".wasm") {
        return "application/wasm";
    }
    if (extension == ".json" || extension == ".map") {
        return "application/json";
    }
    return "application/octet-stream";
}

} // namespace

nlohmann::json player_files::Fulfilment(int code, const std::string& type, const std::string& body,
                                        const std::string& readableBy) {
    nlohmann::json headers = {{{"name", "Content-Type"}, {"value", type}},
                              {{"name", "Access-Control-Allow-Origin"}, {"value", readableBy}},
                              {{"name", "Cache-Control"}, {"value", "private, max-age=86400"}}};
    if (readableBy != "*") {
        headers.push_back({{"name", "Access-Control-Allow-Credentials"}, {"value", "true"}});
    }
    return {{"responseCode", code},
            {"responseHeaders", std::move(headers)},
            {"body", base64::Encode(body)}};
}

nlohmann::json player_files::Answer(const fs::path& root, const std::string& url) {
    const std::string prefix = std::string(kOrigin) + "/";
    if (url.rfind(prefix, 0) != 0) {
        return Fulfilment(404, "text/plain", "not found");
    }
    // Plain names only, as the player asks for its files: no folders, no escapes, no query.
    const std::string name = url.substr(prefix.size());
    if (name.empty() || name.find_first_of("/\\%?#") != std::string::npos || name[0] == '.') {
        return Fulfilment(404, "text/plain", "not found");
    }
    const fs::path file = root / name;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return Fulfilment(404, "text/plain", "not found");
    }
    std::ifstream in(file, std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Fulfilment(in ? 200 : 404, TypeOf(file), body);
}
