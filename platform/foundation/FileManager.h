#pragma once

#include <string>

#include "foundation/Outcome.h"

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
    // Whether this process may write the file (or into the folder): access(W_OK). False on a
    // read-only file system even for root, whom file modes do not stop.
    bool isWritableFileAtPath(const std::string& path) const;

    // One level: the parent must exist and the folder must not.
    Outcome<> createDirectoryAtPath(const std::string& path) const;
    // With intermediate directories, an existing folder counts as success; without, as above.
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories) const;

    // Removes a file, a link or a whole folder tree; fails when nothing was there.
    Outcome<> removeItemAtPath(const std::string& path) const;
    // The same, answering only whether it worked.
    bool removeFileAtPath(const std::string& path) const;

    // Copies a regular file's bytes to `to`, which must not exist yet (EEXIST otherwise). The
    // copy is written beside `to` under a hidden name and renamed into place, so `to` is never
    // seen half-written; on failure nothing is left behind. Like cp, it leaves the bytes to the
    // kernel's writeback. The copy gets the source's permissions less the umask, as cp gives it.
    Outcome<> copyPath(const std::string& from, const std::string& to) const;
    // The same, replacing an existing `to`: the old file stays until the copy is complete and
    // flushed to disk, so not even a crash can leave neither.
    Outcome<> replaceItemByCopying(const std::string& from, const std::string& to) const;
    // Renames, replacing whatever `to` held (a file, or an empty folder when `from` is one).
    bool moveItemAtPath(const std::string& from, const std::string& to) const;

private:
    FileManager() = default;
    ~FileManager() = default;
};

// HOME, or the password database's home folder when HOME is unset, empty or relative (a
// relative HOME is said once in the log).
std::string NSHomeDirectory();

// Whether a value of HOME names a home folder: an absolute path.
bool IsUsableHome(const char* home);
