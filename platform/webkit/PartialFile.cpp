#include "webkit/PartialFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/PathString.h"

namespace {

std::string Describe(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

std::string RandomTag() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string tag(8, '0');
    for (char& c : tag) {
        c = kAlphabet[pick(generator)];
    }
    return tag;
}

// Best effort: makes the rename itself survive a crash.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string FolderOf(const std::string& path) {
    std::string folder = stringByDeletingLastPathComponent(path);
    return folder.empty() ? std::string(1, '.') : folder;
}

} // namespace

std::unique_ptr<PartialFile> PartialFile::CreateBeside(const std::string& destination,
                                                       std::string& error) {
    const std::string name = lastPathComponent(destination);
    if (destination.empty() || name == "/" || name == "." || name == "..") {
        error = "not a file path: " + destination;
        return nullptr;
    }
    // Leave room for the tag and suffix within the usual 255-byte name limit.
    const std::string stem = name.substr(0, 200);
    const std::string folder = FolderOf(destination);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Created with 0666 so that the process's umask decides, as for any other new file.
        std::string hidden(".");
        hidden.append(stem).append(".").append(RandomTag()).append(".part");
        std::string path = stringByAppendingPathComponent(folder, hidden);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return std::unique_ptr<PartialFile>(new PartialFile(fd, std::move(path), destination));
        }
        if (errno != EEXIST) {
            error = Describe("cannot create a file beside", destination, errno);
            return nullptr;
        }
    }
    error = "cannot find a free temporary name beside " + destination;
    return nullptr;
}

PartialFile::PartialFile(int fd, std::string temporaryPath, std::string destination)
    : m_fd(fd), m_temporaryPath(std::move(temporaryPath)), m_destination(std::move(destination)) {
}

PartialFile::~PartialFile() {
    CloseFile();
    if (!m_committed) {
        ::unlink(m_temporaryPath.c_str());
    }
}

void PartialFile::CloseFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool PartialFile::Write(const char* data, size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Describe("cannot write", m_temporaryPath, n < 0 ? errno : ENOSPC);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PartialFile::Commit(bool allowOverwrite, std::string& error) {
    if (::fsync(m_fd) != 0) {
        error = Describe("cannot flush", m_temporaryPath, errno);
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        error = Describe("cannot close", m_temporaryPath, errno);
        return false;
    }
    int result = 0;
    if (allowOverwrite) {
        result = ::rename(m_temporaryPath.c_str(), m_destination.c_str());
    } else {
        result = ::renameat2(AT_FDCWD, m_temporaryPath.c_str(), AT_FDCWD, m_destination.c_str(),
                             RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // The file system cannot refuse atomically; a hard link refuses just the same.
            result = ::link(m_temporaryPath.c_str(), m_destination.c_str());
            if (result == 0) {
                ::unlink(m_temporaryPath.c_str());
            }
        }
    }
    if (result != 0) {
        error = Describe("cannot move the download onto", m_destination, errno);
        return false;
    }
    m_committed = true;
    SyncFolder(FolderOf(m_destination));
    return true;
}
