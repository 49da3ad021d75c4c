#include "ForkedChild.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// A mount namespace of the child's own, whose mounts never reach the rest of the machine. Not
// being root, the child first becomes root of a user namespace of its own.
bool EnterPrivateMounts() {
    static bool entered = false;
    if (entered) {
        return true;
    }
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            return false;
        }
    } else {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            !WriteProcFile("/proc/self/setgroups", "deny") ||
            !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return false;
        }
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    entered = true;
    return true;
}

// A remount inside a user namespace must keep the flags the outer mount locked.
unsigned long LockedFlagsOf(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        return 0;
    }
    unsigned long flags = 0;
    const std::pair<unsigned long, unsigned long> kept[] = {
        {ST_NOSUID, MS_NOSUID},   {ST_NODEV, MS_NODEV},           {ST_NOEXEC, MS_NOEXEC},
        {ST_NOATIME, MS_NOATIME}, {ST_NODIRATIME, MS_NODIRATIME}, {ST_RELATIME, MS_RELATIME},
    };
    for (const auto& [statFlag, mountFlag] : kept) {
        if ((info.f_flag & statFlag) != 0) {
            flags |= mountFlag;
        }
    }
    return flags;
}

} // namespace

int RunInChild(const std::function<int()>& body) {
    std::fflush(nullptr); // buffered output must not be written twice
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        int result = 125;
        try {
            result = body();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "child: %s\n", error.what());
        } catch (...) {
            std::fprintf(stderr, "child: an exception\n");
        }
        std::fflush(nullptr);
        ::_exit(result);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool LimitFileSize(off_t bytes) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    std::signal(SIGXFSZ, SIG_IGN);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool MountReadOnly(const std::string& folder) {
    if (!EnterPrivateMounts()) {
        return false;
    }
    const unsigned long locked = LockedFlagsOf(folder);
    return ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY | locked,
                   nullptr) == 0;
}

bool MountTinyFileSystem(const std::string& folder, size_t bytes) {
    if (!EnterPrivateMounts()) {
        return false;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    return ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}
