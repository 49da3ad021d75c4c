#pragma once

#include <string>

// The file operations the plug-in uses, named after the original platform's selectors.
class FileManager {
public:
    static FileManager& defaultManager();

    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;
    FileManager(FileManager&&) = delete;
    FileManager& operator=(FileManager&&) = delete;

    // Follows symbolic links: a dangling link does not exist.
    bool fileExistsAtPath(const std::string& path) const;
    // With intermediate directories, an existing folder counts as success; without, the parent
    // must exist and the folder must not.
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories) const;
    // Removes a file, a link or a whole folder tree; false when nothing was there or it failed.
    bool removeFileAtPath(const std::string& path) const;
    // Renames, replacing whatever `to` held (a file, or an empty folder when `from` is one).
    bool moveItemAtPath(const std::string& from, const std::string& to) const;

private:
    FileManager() = default;
    ~FileManager() = default;
};

// HOME, or the password database's home folder when HOME is unset or empty.
std::string NSHomeDirectory();
