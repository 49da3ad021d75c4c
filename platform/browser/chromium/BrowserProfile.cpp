#include "browser/chromium/BrowserProfile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs make and clean profiles under a lock on the temporary folder itself, so that a cleaning
// run never meets a profile that another run has made but not locked yet. Somebody else holding
// that lock for long costs only the cleaning: no run cleans while it is held.
constexpr auto kFolderLockWait = std::chrono::seconds(2);
constexpr auto kFolderLockRetry = std::chrono::milliseconds(10);

class FolderLock {
public:
    explicit FolderLock(const fs::path& folder)
        : m_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        const auto deadline = std::chrono::steady_clock::now() + kFolderLockWait;
        while (m_fd >= 0) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                break;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(kFolderLockRetry);
        }
    }
    ~FolderLock() {
        if (m_fd >= 0) {
            close(m_fd); // lets go of the lock
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    FolderLock(FolderLock&&) = delete;
    FolderLock& operator=(FolderLock&&) = delete;

    bool held() const { return m_held; }

private:
    int m_fd;
    bool m_held = false;
};

// A folder of ours with the prefix whose lock nobody holds: its run has ended without removing
// it. One without a lock file is as stale, as runs make the lock file before they let go of the
// folder lock. Folders of other users, and anything that is not a plain folder, are left alone.
bool IsStale(const fs::path& folder) {
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != geteuid()) {
        return false;
    }
    const int lock =
        open((folder / BrowserProfile::kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock < 0) {
        return errno == ENOENT;
    }
    const bool free = flock(lock, LOCK_EX | LOCK_NB) == 0;
    close(lock);
    return free;
}

void RemoveStale(const fs::path& parent) {
    std::error_code error;
    for (auto entry = fs::directory_iterator(parent, error);
         !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.rfind(BrowserProfile::kPrefix, 0) == 0 && IsStale(entry->path())) {
            std::error_code ignored; // what cannot be removed stays for the next run
            fs::remove_all(entry->path(), ignored);
        }
    }
}

} // namespace

Outcome<BrowserProfile> BrowserProfile::Make(const fs::path& parent) {
    const FolderLock folderLock(parent);
    if (folderLock.held()) {
        RemoveStale(parent);
    }
    std::string name = (parent / (std::string(kPrefix) + "XXXXXX")).string();
    if (mkdtemp(name.data()) == nullptr) {
        return Failure{"Could not make a browser profile in " + parent.string(),
                       std::strerror(errno)};
    }
    const fs::path folder = name;
    const int lock = open((folder / kLockName).c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const std::string why = std::strerror(errno);
        if (lock >= 0) {
            close(lock);
        }
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        return Failure{"Could not lock the browser profile " + folder.string(), why};
    }
    return BrowserProfile(folder, lock);
}

BrowserProfile::BrowserProfile(BrowserProfile&& other) noexcept
    : m_path(std::move(other.m_path)), m_lockFd(other.m_lockFd) {
    other.m_path.clear();
    other.m_lockFd = -1;
}

BrowserProfile::~BrowserProfile() {
    if (!m_path.empty()) {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    if (m_lockFd >= 0) {
        close(m_lockFd);
    }
}
