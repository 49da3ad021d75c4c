#include "foundation/FileManager.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

FileManager& FileManager::defaultManager() {
    static FileManager manager;
    return manager;
}

bool FileManager::fileExistsAtPath(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool FileManager::createDirectoryAtPath(const std::string& path,
                                        bool withIntermediateDirectories) const {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    if (withIntermediateDirectories) {
        fs::create_directories(path, error);
        return !error && fs::is_directory(path, error);
    }
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool FileManager::removeFileAtPath(const std::string& path) const {
    std::error_code error;
    if (path.empty() || !fs::exists(fs::symlink_status(path, error))) {
        return false;
    }
    fs::remove_all(path, error);
    return !error;
}

bool FileManager::moveItemAtPath(const std::string& from, const std::string& to) const {
    return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string NSHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}
