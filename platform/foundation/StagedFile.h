#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "foundation/Outcome.h"

// A file's new content, staged under a hidden, uniquely named temporary file beside its
// destination and moved onto it in one rename once complete. Readers see the old file or the
// whole new one, never a part; flushed before the rename, so does a crash at any point. Destroyed
// uncommitted, it removes its temporary file, so a failure leaves nothing behind.
//
// Every failure names the path concerned (the destination, or its folder when flushing that
// failed) and the system's reason.
class StagedFile {
public:
    enum class Existing { Replace, Keep };
    // Data: the content, and then the rename, are flushed to disk, for a file whose loss costs
    // something (the old file it replaces). None: the kernel writes it back in its own time, as
    // cp leaves a copy.
    enum class Flush { Data, None };

    // `mode` is the new file's permissions before the process's umask, as for open().
    static Outcome<StagedFile> CreateBeside(const std::string& destination, mode_t mode = 0666);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    Outcome<> Write(std::string_view bytes);
    // Appends everything `source` holds from its current offset to its end, in the kernel when
    // the file systems allow it; `expectedSize` is how much that probably is.
    Outcome<> WriteFrom(int source, uint64_t expectedSize);
    // Flushes the content to disk. Commit does this itself; callers that want to act between
    // the flush and the rename call it first.
    Outcome<> Sync();
    // Flushes, renames onto the destination and flushes the folder so the rename lasts (with
    // Flush::None, only renames). With Existing::Keep an existing destination stays as it is and
    // the commit fails (EEXIST).
    Outcome<> Commit(Existing existing, Flush flush = Flush::Data);

    const std::string& Destination() const { return m_destination; }
    const std::string& TemporaryPath() const { return m_temporaryPath; }

private:
    StagedFile(int fd, std::string temporaryPath, std::string destination);
    Failure FailureOf(int error) const { return FailureAt(m_destination, error); }
    static Failure FailureAt(const std::string& path, int error);
    void Discard();

    int m_fd = -1;
    bool m_synced = false;
    bool m_committed = false;
    std::string m_temporaryPath;
    std::string m_destination;
};
