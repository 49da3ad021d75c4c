#include "foundation/StagedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

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

// "a/b/name" -> "a/b", "name" -> ".", "/name" -> "/".
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Answers 0 when the folder's entries are on disk, or the reason they may not be.
int SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot flush a folder at all; there is nothing more to do there.
    return error == EINVAL ? 0 : error;
}

// Without replacing: atomically where the file system can refuse, else by a hard link, which
// refuses an existing name just the same.
int RenameKeepingExisting(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return errno;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

} // namespace

Failure StagedFile::FailureAt(const std::string& path, int error) {
    return Failure{path, std::strerror(error)};
}

Outcome<StagedFile> StagedFile::CreateBeside(const std::string& destination, mode_t mode) {
    const std::string name = NameOf(destination);
    if (name.empty() || name == "." || name == "..") {
        return FailureAt(destination, EISDIR);
    }
    // Leave room for the tag and suffix within the usual 255-byte name limit.
    const std::string folder = FolderOf(destination);
    const std::string stem = name.substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string hidden(".");
        hidden.append(stem).append(".").append(RandomTag()).append(".part");
        std::string path = folder == "/" ? std::string() : folder;
        path.append("/").append(hidden);
        // The umask applies, as for any other new file.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            return StagedFile(fd, std::move(path), destination);
        }
        if (errno != EEXIST) {
            return FailureAt(destination, errno);
        }
    }
    return Failure{destination, "no free temporary name beside it"};
}

StagedFile::StagedFile(int fd, std::string temporaryPath, std::string destination)
    : m_fd(fd), m_temporaryPath(std::move(temporaryPath)), m_destination(std::move(destination)) {
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_synced(other.m_synced),
      m_committed(std::exchange(other.m_committed, true)),
      m_temporaryPath(std::move(other.m_temporaryPath)),
      m_destination(std::move(other.m_destination)) {
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        Discard();
        m_fd = std::exchange(other.m_fd, -1);
        m_synced = other.m_synced;
        m_committed = std::exchange(other.m_committed, true);
        m_temporaryPath = std::move(other.m_temporaryPath);
        m_destination = std::move(other.m_destination);
    }
    return *this;
}

StagedFile::~StagedFile() {
    Discard();
}

void StagedFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_committed) {
        ::unlink(m_temporaryPath.c_str());
        m_committed = true;
    }
}

Outcome<> StagedFile::Write(std::string_view bytes) {
    if (m_fd < 0) {
        return FailureOf(EBADF);
    }
    m_synced = false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return FailureOf(n < 0 ? errno : ENOSPC);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return {};
}

Outcome<> StagedFile::WriteFrom(int source, uint64_t expectedSize) {
    if (m_fd < 0) {
        return FailureOf(EBADF);
    }
    m_synced = false;
    // Ask for the whole rest at once; after that, small requests only to meet the end (or
    // whatever was appended meanwhile).
    constexpr uint64_t kMaxRequest = uint64_t{1} << 30;
    uint64_t copied = 0;
    for (;;) {
        const uint64_t remaining = expectedSize > copied ? expectedSize - copied : 0;
        const size_t request =
            static_cast<size_t>(std::clamp<uint64_t>(remaining, 65536, kMaxRequest));
        const ssize_t n = ::copy_file_range(source, nullptr, m_fd, nullptr, request, 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) {
            return {};
        }
        if (errno == EINTR) {
            continue;
        }
        // Across file systems, or where the kernel cannot: plain reads and writes from where
        // the kernel stopped (both offsets moved with what it copied).
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            break;
        }
        return FailureOf(errno);
    }
    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        const ssize_t n = ::read(source, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return FailureOf(errno);
        }
        if (n == 0) {
            return {};
        }
        Outcome<> written = Write(std::string_view(buffer.data(), static_cast<size_t>(n)));
        if (!written) {
            return written;
        }
    }
}

Outcome<> StagedFile::Sync() {
    if (m_fd < 0) {
        return FailureOf(EBADF);
    }
    if (!m_synced) {
        if (::fsync(m_fd) != 0) {
            return FailureOf(errno);
        }
        m_synced = true;
    }
    return {};
}

Outcome<> StagedFile::Commit(Existing existing, Flush flush) {
    if (Outcome<> synced = flush == Flush::Data ? Sync() : Outcome<>(); !synced) {
        return synced;
    }
    const int fd = std::exchange(m_fd, -1);
    // A failed close can mean lost data on some file systems: the commit fails with it.
    if (::close(fd) != 0) {
        return FailureOf(errno);
    }
    int error = 0;
    if (existing == Existing::Replace) {
        error = std::rename(m_temporaryPath.c_str(), m_destination.c_str()) == 0 ? 0 : errno;
    } else {
        error = RenameKeepingExisting(m_temporaryPath, m_destination);
    }
    if (error != 0) {
        return FailureOf(error);
    }
    m_committed = true;
    if (flush == Flush::None) {
        return {};
    }
    const std::string folder = FolderOf(m_destination);
    if (int folderError = SyncFolder(folder); folderError != 0) {
        return FailureAt(folder, folderError);
    }
    return {};
}
