#include "appkit/ProgramLookup.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool IsExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> Absolute(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return std::nullopt;
    }
    return absolute.lexically_normal().string();
}

std::optional<std::string> SoleExecutableIn(const fs::path& folder) {
    std::error_code error;
    std::optional<fs::path> found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (IsExecutableFile(it->path())) {
            if (found) {
                return std::nullopt; // more than one: no guessing
            }
            found = it->path();
        }
    }
    return found ? Absolute(*found) : std::nullopt;
}

} // namespace

std::optional<std::string> ExecutableForApplication(const std::string& appPath) {
    if (appPath.empty()) {
        return std::nullopt;
    }
    fs::path app(appPath);
    if (IsExecutableFile(app)) {
        return Absolute(app);
    }
    std::error_code error;
    if (!fs::is_directory(app, error)) {
        return std::nullopt;
    }
    fs::path named = app.has_filename() ? app : app.parent_path(); // "Dissecta.app/" too
    std::string stem = named.stem().string();
    std::vector<fs::path> candidates{app / "AppRun"};
    if (!stem.empty()) {
        candidates.push_back(app / stem);
        candidates.push_back(app / "bin" / stem);
    }
    for (const fs::path& candidate : candidates) {
        if (IsExecutableFile(candidate)) {
            return Absolute(candidate);
        }
    }
    return SoleExecutableIn(app / "bin");
}
