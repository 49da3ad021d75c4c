#include "ServedFolder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

bool IsInside(const std::filesystem::path& root, const std::filesystem::path& path) {
    auto [rootEnd, pathAt] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return rootEnd == root.end() && pathAt != path.end();
}

} // namespace

Outcome<std::filesystem::path> ServedFolder::Resolve(const std::string& relative) const {
    if (relative.empty() || relative.front() == '/' || relative.find('\0') != std::string::npos ||
        relative.find('\\') != std::string::npos) {
        return Failure{relative, "not a relative path"};
    }
    const std::filesystem::path asked(relative);
    for (const std::filesystem::path& segment : asked) {
        if (segment == "..") {
            return Failure{relative, "leaves its folder"};
        }
    }
    std::optional<std::filesystem::path> found = Contains(m_root / asked);
    if (!found) {
        return Failure{relative, "no such file in the folder"};
    }
    return *found;
}

std::optional<std::filesystem::path>
ServedFolder::Contains(const std::filesystem::path& absolute) const {
    std::error_code error;
    if (m_root.empty() || !absolute.is_absolute()) {
        return std::nullopt;
    }
    const std::filesystem::path root = std::filesystem::canonical(m_root, error);
    if (error) {
        return std::nullopt;
    }
    const std::filesystem::path real = std::filesystem::canonical(absolute, error);
    if (error || !IsInside(root, real) || !std::filesystem::is_regular_file(real, error)) {
        return std::nullopt;
    }
    return real;
}

std::optional<std::filesystem::path>
ServedFolder::RelativePathOf(const std::filesystem::path& absolute) const {
    std::optional<std::filesystem::path> real = Contains(absolute);
    std::error_code error;
    const std::filesystem::path root = std::filesystem::canonical(m_root, error);
    if (!real || error) {
        return std::nullopt;
    }
    return real->lexically_relative(root);
}

Outcome<std::string> ReadServedFile(const std::filesystem::path& path, uintmax_t limit) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return Failure{path.string(), error.message()};
    }
    if (size > limit) {
        return Failure{path.string(), "too large to serve"};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Failure{path.string(), "cannot be opened"};
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        return Failure{path.string(), "cannot be read"};
    }
    return bytes.str();
}
