#include "swfharvex/CaptureFolderLock.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

Failure SystemFailure(const std::string& what) {
    return Failure{what, std::strerror(errno)};
}

// The first line the holder wrote; it may be missing when the holder has only just taken it.
std::string HolderOf(int descriptor) {
    char text[256];
    ssize_t got = ::pread(descriptor, text, sizeof text - 1, 0);
    std::string holder(text, got > 0 ? static_cast<size_t>(got) : 0);
    holder = holder.substr(0, holder.find('\n'));
    return holder.empty() ? "another swfharvex" : holder;
}

} // namespace

std::string CaptureFolderLock::LockPathFor(const std::string& folder) {
    const fs::path path(folder);
    return (path.parent_path() / ("." + path.filename().string() + ".lock")).string();
}

bool CaptureFolderLock::IsInUse(const Failure& failure) {
    return failure.is(std::errc::operation_would_block);
}

Outcome<CaptureFolderLock> CaptureFolderLock::Take(const std::string& folder,
                                                   const std::string& holder) {
    const std::string lockPath = LockPathFor(folder);
    std::error_code error;
    fs::create_directories(fs::path(lockPath).parent_path(), error);
    if (error) {
        return Failure{fs::path(lockPath).parent_path().string(), error.message()};
    }
    int descriptor = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0) {
        return SystemFailure(lockPath);
    }
    CaptureFolderLock lock(descriptor);
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            return SystemFailure(lockPath);
        }
        return Failure{folder, "in use by " + HolderOf(descriptor),
                       std::make_error_code(std::errc::operation_would_block)};
    }
    const std::string line = holder + " (pid " + std::to_string(::getpid()) + ")\n";
    // The holder's name only helps the message of a run that is refused: failing to write it
    // does not make the lock any less held.
    if (::ftruncate(descriptor, 0) == 0) {
        [[maybe_unused]] ssize_t written = ::pwrite(descriptor, line.data(), line.size(), 0);
    }
    return lock;
}

CaptureFolderLock::CaptureFolderLock(CaptureFolderLock&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)) {
}

CaptureFolderLock& CaptureFolderLock::operator=(CaptureFolderLock&& other) noexcept {
    if (this != &other) {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

CaptureFolderLock::~CaptureFolderLock() {
    if (m_descriptor >= 0) {
        ::close(m_descriptor); // closing the last descriptor lets go of the lock
    }
}
