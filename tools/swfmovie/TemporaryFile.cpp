#include "TemporaryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void CannotWrite() {
    throw std::runtime_error(std::string("cannot write: ") + std::strerror(errno));
}

} // namespace

TemporaryFile::TemporaryFile(const std::string& target) : m_target(target) {
    std::filesystem::path path(target);
    std::filesystem::path folder = path.parent_path();
    // Hidden, and unique in the folder. (Appended piecewise: GCC 12 at -O3 warns falsely about
    // "." + std::string.)
    std::string name = ".";
    name += path.filename().string();
    name += ".XXXXXX";
    m_path = (folder / name).string();
    m_fd = ::mkstemp(m_path.data());
    if (m_fd < 0) {
        CannotWrite();
    }
    // mkstemp makes the file private; the result should get the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(m_fd, 0666 & ~mask) != 0) {
        int reason = errno;
        // The destructor does not run for a constructor that throws.
        ::close(m_fd);
        ::unlink(m_path.c_str());
        errno = reason;
        CannotWrite();
    }
}

TemporaryFile::~TemporaryFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_committed) {
        ::unlink(m_path.c_str());
    }
}

void TemporaryFile::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            CannotWrite();
        }
        done += static_cast<size_t>(wrote);
    }
}

void TemporaryFile::Commit() {
    if (::fsync(m_fd) != 0) {
        CannotWrite();
    }
    int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0 || std::rename(m_path.c_str(), m_target.c_str()) != 0) {
        CannotWrite();
    }
    m_committed = true;
}
