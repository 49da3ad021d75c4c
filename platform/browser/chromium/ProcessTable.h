#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// What /proc says about the processes of this machine, read without opening anything a process
// could hold up: a process that ends while it is read is simply not there.
namespace process_table {

// The live children of `parent` (its own, and those it adopted as a subreaper).
std::vector<pid_t> ChildrenOf(pid_t parent);

// The process's command line, arguments separated by NUL or by spaces (a program may rewrite it);
// empty for a zombie or a process that has gone.
std::string CommandLine(pid_t pid);

} // namespace process_table
