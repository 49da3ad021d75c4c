#include "foundation/defaults/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<AtomicFile::Failpoint> g_failpoint{AtomicFile::Failpoint::None};

std::string ErrnoText(const char* step) {
    std::string text(step);
    text += ": ";
    text += std::strerror(errno);
    return text;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool SyncFolder(const std::string& folder, std::string& reason) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        reason = ErrnoText("cannot open the folder to flush it");
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced) {
        reason = ErrnoText("cannot flush the folder");
    }
    ::close(fd);
    return synced;
}

} // namespace

void AtomicFile::setFailpointForTesting(Failpoint failpoint) {
    g_failpoint.store(failpoint);
}

bool AtomicFile::Write(const std::string& path, std::string_view bytes, std::string& reason) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        reason = "cannot create the folder ";
        reason += folder;
        if (error) {
            reason += ": ";
            reason += error.message();
        }
        return false;
    }

    // Hidden and unique, so that two writers never share a temporary file.
    std::string hiddenName(".");
    hiddenName += target.filename().string();
    hiddenName += ".tmp-XXXXXX";
    std::string temporary = (fs::path(folder) / hiddenName).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = ErrnoText("cannot create a temporary file");
        return false;
    }
    bool written = WriteAll(fd, bytes);
    if (!written) {
        reason = ErrnoText("cannot write the temporary file");
    } else if (::fsync(fd) != 0) {
        reason = ErrnoText("cannot flush the temporary file");
        written = false;
    }
    if (::close(fd) != 0 && written) {
        reason = ErrnoText("cannot close the temporary file");
        written = false;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }

    if (g_failpoint.load() == Failpoint::KillBeforeRename) {
        std::raise(SIGKILL);
    }

    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = ErrnoText("cannot rename the temporary file over the file");
        ::unlink(temporary.c_str());
        return false;
    }
    return SyncFolder(folder, reason);
}
