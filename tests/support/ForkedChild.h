#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <sys/types.h>

// Fault simulation for tests: the faults are set up inside a forked child, so the test process
// itself keeps its limits and its view of the file system. Tests run as root in CI, where file
// modes stop no write; a read-only mount or a full file system does.

// Runs `body` in a forked child and answers its result as the child's exit status, or -1 when
// the child died of a signal (or could not be started). An exception ends the child with 125.
// GoogleTest assertions inside `body` do not reach the parent: answer a code instead.
int RunInChild(const std::function<int()>& body);

// The exit status a child answers when the machine does not allow the set-up below, so that
// the test can skip with a reason.
inline constexpr int kChildCannotSetUp = 77;

// In the child: writes past `bytes` fail with EFBIG (SIGXFSZ is ignored), as a copy that
// stops half-way.
bool LimitFileSize(off_t bytes);

// In the child: `folder` becomes read-only in a mount namespace of the child's own (with a user
// namespace when not root). False when the machine does not allow it.
bool MountReadOnly(const std::string& folder);

// In the child: a tmpfs of `bytes` is mounted on `folder` (hiding what it held), so writing
// more fails with ENOSPC. False when the machine does not allow it.
bool MountTinyFileSystem(const std::string& folder, size_t bytes);
