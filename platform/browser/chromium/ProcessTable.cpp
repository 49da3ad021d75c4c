#include "browser/chromium/ProcessTable.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace process_table {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The whole of a small /proc file; empty when it cannot be read.
std::string ReadSmall(const std::string& path, size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    std::array<char, 4096> chunk{};
    while (text.size() < limit) {
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(chunk.data(), static_cast<size_t>(got));
    }
    close(fd);
    return text;
}

struct Status {
    char state = '?';
    pid_t parent = 0;
    pid_t group = 0;
};

// "pid (name) state ppid pgrp ...": the name may hold spaces and parentheses, so the fields are
// read after its last ')'.
std::optional<Status> StatusOf(pid_t pid) {
    const std::string stat = ReadSmall("/proc/" + std::to_string(pid) + "/stat", 4096);
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size()) {
        return std::nullopt;
    }
    Status status;
    status.state = stat[nameEnd + 2];
    long parent = 0;
    long group = 0;
    if (std::sscanf(stat.c_str() + nameEnd + 3, "%ld %ld", &parent, &group) != 2) {
        return std::nullopt;
    }
    status.parent = static_cast<pid_t>(parent);
    status.group = static_cast<pid_t>(group);
    return status;
}

// Calls `look` with the number and status of every process.
template <typename Look> void EachProcess(Look look) {
    const std::unique_ptr<DIR, DirCloser> proc(opendir("/proc"));
    if (!proc) {
        return;
    }
    while (const dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        if (std::optional<Status> status = StatusOf(static_cast<pid_t>(pid))) {
            look(static_cast<pid_t>(pid), *status);
        }
    }
}

} // namespace

std::vector<Member> GroupMembers(pid_t group) {
    std::vector<Member> members;
    EachProcess([&](pid_t pid, const Status& status) {
        if (status.group == group) {
            members.push_back({pid, status.state == 'Z'});
        }
    });
    return members;
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    EachProcess([&](pid_t pid, const Status& status) {
        if (status.parent == parent && status.state != 'Z') {
            children.push_back(pid);
        }
    });
    return children;
}

std::string CommandLine(pid_t pid) {
    return ReadSmall("/proc/" + std::to_string(pid) + "/cmdline", size_t{64} << 10U);
}

std::optional<uint64_t> ResidentBytes(pid_t pid) {
    // "size resident shared ..." in pages.
    const std::string statm = ReadSmall("/proc/" + std::to_string(pid) + "/statm", 256);
    unsigned long long size = 0;
    unsigned long long resident = 0;
    if (std::sscanf(statm.c_str(), "%llu %llu", &size, &resident) != 2) {
        return std::nullopt;
    }
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

bool KillIfInGroup(pid_t pid, pid_t group) {
    // Through syscall(): glibc 2.36's <sys/pidfd.h> declares its wrappers without C linkage.
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0) {
        return false;
    }
    // Asked after the descriptor was taken: it names this process for good.
    const std::optional<Status> status = StatusOf(pid);
    const bool killed = status && status->group == group &&
                        syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0) == 0;
    close(handle);
    return killed;
}

} // namespace process_table
