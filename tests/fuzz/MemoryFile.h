#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

// One in-memory file for a fuzz run, for code that opens its input by path like any file.
class MemoryFile {
public:
    MemoryFile()
        : m_fd(memfd_create("hvx-fuzz", 0)), m_path("/proc/self/fd/" + std::to_string(m_fd)) {}
    ~MemoryFile() { close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    MemoryFile(MemoryFile&&) = delete;
    MemoryFile& operator=(MemoryFile&&) = delete;

    // Replaces the file's bytes; answers its path.
    const std::string& Fill(const uint8_t* data, size_t size) {
        if (ftruncate(m_fd, 0) != 0 ||
            (size > 0 && pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
            __builtin_trap();
        }
        return m_path;
    }

private:
    int m_fd;
    std::string m_path;
};
