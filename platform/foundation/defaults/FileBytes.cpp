#include "foundation/defaults/FileBytes.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

std::optional<std::string> ReadFileBytes(const std::string& path, int* error, size_t mostBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // A folder opens fine and fails here with EISDIR.
            if (error != nullptr) {
                *error = errno;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        if (static_cast<size_t>(n) > mostBytes - bytes.size()) {
            if (error != nullptr) {
                *error = EFBIG;
            }
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}
