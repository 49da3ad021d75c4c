#include "foundation/defaults/FileBytes.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "foundation/FileDescriptor.h"

Outcome<std::string> ReadFileBytes(const std::string& path, size_t mostBytes) {
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.get() < 0) {
        return Failure::FromErrno(path, errno);
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // A folder opens fine and fails here with EISDIR.
            return Failure::FromErrno(path, errno);
        }
        if (n == 0) {
            return bytes;
        }
        if (static_cast<size_t>(n) > mostBytes - bytes.size()) {
            return Failure::FromErrno(path, EFBIG);
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}
