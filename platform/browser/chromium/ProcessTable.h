#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// What /proc says about the processes of this machine, read without opening anything a process
// could hold up: a process that ends while it is read is simply not there.
namespace process_table {

struct Member {
    pid_t pid = 0;
    bool zombie = false; // ended, not yet reaped by its parent
};

// Every process whose process group is `group`, zombies included.
std::vector<Member> GroupMembers(pid_t group);

// The live children of `parent` (its own, and those it adopted as a subreaper).
std::vector<pid_t> ChildrenOf(pid_t parent);

// The process's command line, arguments separated by NUL or by spaces (a program may rewrite it);
// empty for a zombie or a process that has gone.
std::string CommandLine(pid_t pid);

// Resident memory in bytes; none once the process has gone.
std::optional<uint64_t> ResidentBytes(pid_t pid);

// Sends SIGKILL to `pid` only while it is still in `group`: through a process descriptor, so
// that a number reused by another process in between is never hit. False when it had gone.
bool KillIfInGroup(pid_t pid, pid_t group);

} // namespace process_table
