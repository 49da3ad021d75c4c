#include "ContentType.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <utility>

std::string ContentTypeForPath(const std::string& path) {
    static const std::array<std::pair<const char*, const char*>, 10> kTypes{{
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".png", "image/png"},
        {".svg", "image/svg+xml"},
        {".swf", "application/x-shockwave-flash"},
        {".wasm", "application/wasm"},
    }};
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& [known, type] : kTypes) {
        if (extension == known) {
            return type;
        }
    }
    return "application/octet-stream";
}
