#include "foundation/FileManager.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/FileDescriptor.h"
#include "foundation/Log.h"
#include "foundation/StagedFile.h"

namespace fs = std::filesystem;

namespace {

Failure FailureAt(const std::string& path, int error) {
    return Failure{path, std::strerror(error)};
}

Outcome<> Copy(const std::string& from, const std::string& to, StagedFile::Existing existing) {
    if (from.empty()) {
        return FailureAt(from, ENOENT);
    }
    if (to.empty()) {
        return FailureAt(to, ENOENT);
    }
    // Not blocking: a named pipe in place of the file must not hang the caller.
    FileDescriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (source.get() < 0) {
        return FailureAt(from, errno);
    }
    struct stat info {};
    if (::fstat(source.get(), &info) != 0) {
        return FailureAt(from, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return FailureAt(from, EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure{from, "not a regular file"};
    }
    // Refused before any byte is copied; the final rename refuses again should one appear.
    struct stat existingInfo {};
    if (existing == StagedFile::Existing::Keep && ::lstat(to.c_str(), &existingInfo) == 0) {
        return FailureAt(to, EEXIST);
    }
    Outcome<StagedFile> copy = StagedFile::CreateBeside(to, info.st_mode & 0777);
    if (!copy) {
        return copy.failure();
    }
    Outcome<> copied = copy.value().WriteFrom(source.get(), static_cast<uint64_t>(info.st_size));
    if (!copied) {
        return copied;
    }
    // A new file puts nothing of the user's at risk, so it is left to the kernel's writeback as
    // cp leaves it; the old file a replacement gives up goes only for a copy that is on disk.
    return copy.value().Commit(existing, existing == StagedFile::Existing::Replace
                                             ? StagedFile::Flush::Data
                                             : StagedFile::Flush::None);
}

} // namespace

FileManager& FileManager::defaultManager() {
    static FileManager manager;
    return manager;
}

bool FileManager::fileExistsAtPath(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool FileManager::isWritableFileAtPath(const std::string& path) const {
    return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}

Outcome<> FileManager::createDirectoryAtPath(const std::string& path) const {
    if (path.empty()) {
        return FailureAt(path, ENOENT);
    }
    if (::mkdir(path.c_str(), 0777) != 0) {
        return FailureAt(path, errno);
    }
    return {};
}

bool FileManager::createDirectoryAtPath(const std::string& path,
                                        bool withIntermediateDirectories) const {
    if (!withIntermediateDirectories) {
        return createDirectoryAtPath(path).ok();
    }
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
}

Outcome<> FileManager::removeItemAtPath(const std::string& path) const {
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) {
        return FailureAt(path, path.empty() ? ENOENT : errno);
    }
    std::error_code error;
    fs::remove_all(path, error);
    if (error) {
        return Failure{path, error.message()};
    }
    return {};
}

bool FileManager::removeFileAtPath(const std::string& path) const {
    return removeItemAtPath(path).ok();
}

Outcome<> FileManager::copyPath(const std::string& from, const std::string& to) const {
    return Copy(from, to, StagedFile::Existing::Keep);
}

Outcome<> FileManager::replaceItemByCopying(const std::string& from, const std::string& to) const {
    return Copy(from, to, StagedFile::Existing::Replace);
}

bool FileManager::moveItemAtPath(const std::string& from, const std::string& to) const {
    return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

// A relative HOME would put the capture folder (which start-up empties) and every file written
// under home wherever the process happens to run: it counts as unset, and the log says so once.
void NoteRelativeHome(const char* used) {
    static std::atomic<bool> said{false};
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0' || *home == '/' || said.exchange(true)) {
        return;
    }
    NSLog(std::string("HOME is not an absolute path (") + home + "): using " + used +
          " as the home folder, as if HOME were not set");
}

} // namespace

bool IsUsableHome(const char* home) {
    return home != nullptr && *home == '/';
}

std::string NSHomeDirectory() {
    if (const char* home = std::getenv("HOME"); IsUsableHome(home)) {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        NoteRelativeHome(found->pw_dir);
        return found->pw_dir;
    }
    NoteRelativeHome("/");
    return "/";
}
