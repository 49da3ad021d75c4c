#include "appkit/FileSystemFolderBackend.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

Outcome<std::vector<FolderEntry>> FileSystemFolderBackend::ListFolder(const std::string& folder) {
    std::error_code error;
    fs::directory_iterator walk(folder, error);
    if (error) {
        return Failure{folder, error.message()};
    }
    std::vector<FolderEntry> entries;
    while (walk != fs::directory_iterator()) {
        std::string name = walk->path().filename().string();
        if (!name.starts_with(".")) {
            std::error_code kindError;
            entries.push_back({name, walk->is_directory(kindError)});
        }
        walk.increment(error);
        if (error) {
            return Failure{folder, error.message()};
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}
