#include "appkit/XdgWorkspaceBackend.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "appkit/DetachedLaunch.h"
#include "appkit/ProgramLookup.h"
#include "foundation/Log.h"

namespace fs = std::filesystem;

namespace {

// Absolute and existing, or none. Absolute paths also never pass for an option ("-x").
std::optional<std::string> ExistingAbsolute(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error || !fs::exists(absolute, error)) {
        return std::nullopt;
    }
    return absolute.lexically_normal().string();
}

} // namespace

XdgWorkspaceBackend::XdgWorkspaceBackend(std::string opener) : m_opener(std::move(opener)) {
}

bool XdgWorkspaceBackend::Open(const std::string& argument) const {
    std::optional<std::string> opener = FindProgramOnPath(m_opener);
    if (!opener) {
        std::string line = "NSWorkspace: no ";
        NSLog(line.append(m_opener).append(" to open ").append(argument));
        return false;
    }
    return LaunchDetached({*opener, argument});
}

bool XdgWorkspaceBackend::OpenURL(const std::string& url) {
    return Open(url);
}

bool XdgWorkspaceBackend::OpenFile(const std::string& path, const std::string& appPath,
                                   bool /*andDeactivate*/) {
    std::optional<std::string> file = ExistingAbsolute(path);
    if (!file) {
        return false;
    }
    if (appPath.empty()) {
        return Open(*file);
    }
    std::optional<std::string> program = ExecutableForApplication(appPath);
    if (!program) {
        std::string line = "NSWorkspace: no program to start in ";
        NSLog(line.append(appPath));
        return false;
    }
    return LaunchDetached({*program, *file});
}

bool XdgWorkspaceBackend::SelectFile(const std::string& path, const std::string& rootedAtPath) {
    if (!path.empty()) {
        std::optional<std::string> file = ExistingAbsolute(path);
        if (!file) {
            return false;
        }
        fs::path folder = fs::path(*file).parent_path();
        return Open(folder.empty() ? *file : folder.string());
    }
    std::optional<std::string> root = ExistingAbsolute(rootedAtPath);
    std::error_code error;
    if (!root || !fs::is_directory(*root, error)) {
        return false;
    }
    return Open(*root);
}
