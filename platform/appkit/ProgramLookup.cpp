#include "appkit/ProgramLookup.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "foundation/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

// An executable regular file at `path`, made absolute: the process starter's own rule for a path.
std::optional<std::string> ProgramAt(const fs::path& path) {
    return ChildProcess::FindProgram((path.has_parent_path() ? path : "." / path).string(), "");
}

std::optional<std::string> SoleExecutableIn(const fs::path& folder) {
    std::error_code error;
    std::optional<std::string> found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (std::optional<std::string> program = ProgramAt(it->path())) {
            if (found) {
                return std::nullopt; // more than one: no guessing
            }
            found = program;
        }
    }
    return found;
}

} // namespace

std::optional<std::string> ExecutableForApplication(const std::string& appPath) {
    if (appPath.empty()) {
        return std::nullopt;
    }
    fs::path app(appPath);
    if (std::optional<std::string> program = ProgramAt(app)) {
        return program;
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
        if (std::optional<std::string> program = ProgramAt(candidate)) {
            return program;
        }
    }
    return SoleExecutableIn(app / "bin");
}
