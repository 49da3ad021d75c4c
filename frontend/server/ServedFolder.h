#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "foundation/Outcome.h"

// A folder the desktop serves read-only. Every request names a file inside it by a relative
// path; whatever would reach outside (a ".." segment, an absolute path, a symbolic link that
// leads out) is refused, judged on the real location after the links are followed.
class ServedFolder {
public:
    ServedFolder() = default;
    // A folder that does not exist (yet) serves nothing until it does.
    explicit ServedFolder(std::filesystem::path root) : m_root(std::move(root)) {}

    const std::filesystem::path& root() const { return m_root; }

    // The real path of the regular file `relative` names inside the folder.
    Outcome<std::filesystem::path> Resolve(const std::string& relative) const;
    // Whether `absolute`, after links, is a regular file inside the folder; its real path.
    std::optional<std::filesystem::path> Contains(const std::filesystem::path& absolute) const;

    // Where `absolute` (a file inside the folder, after links) lies relative to the folder.
    std::optional<std::filesystem::path>
    RelativePathOf(const std::filesystem::path& absolute) const;

private:
    std::filesystem::path m_root;
};

// Reads a whole file of at most `limit` bytes.
Outcome<std::string> ReadServedFile(const std::filesystem::path& path, uintmax_t limit);
