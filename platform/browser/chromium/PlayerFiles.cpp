#include "browser/chromium/PlayerFiles.h"

#include <array>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// The body Fetch.fulfillRequest takes is base64; none of our libraries offers an encoder.
std::string Base64(const std::string& bytes) {
    static constexpr std::array<char, 65> kAlphabet{
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"};
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16U |
                           static_cast<unsigned char>(bytes[i + 1]) << 8U |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (const unsigned shift : {18U, 12U, 6U, 0U}) {
            text.push_back(kAlphabet[(n >> shift) & 63U]);
        }
    }
    if (const size_t left = bytes.size() - i; left > 0) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16U |
                           (left == 2 ? static_cast<unsigned char>(bytes[i + 1]) << 8U : 0U);
        text.push_back(kAlphabet[(n >> 18U) & 63U]);
        text.push_back(kAlphabet[(n >> 12U) & 63U]);
        text.push_back(left == 2 ? kAlphabet[(n >> 6U) & 63U] : '=');
        text.push_back('=');
    }
    return text;
}

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
    return {
        {"responseCode", code}, {"responseHeaders", std::move(headers)}, {"body", Base64(body)}};
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
