#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A hidden, uniquely named temporary file beside a download's destination. Commit() moves the
// complete data onto the destination in one rename; a PartialFile destroyed uncommitted removes
// its temporary file, so a failed download leaves nothing behind.
class PartialFile {
public:
    // Null, with `error` set, when the file cannot be created (e.g. the folder is missing).
    static std::unique_ptr<PartialFile> CreateBeside(const std::string& destination,
                                                     std::string& error);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    PartialFile(PartialFile&&) = delete;
    PartialFile& operator=(PartialFile&&) = delete;

    bool Write(const char* data, size_t size, std::string& error);
    // Flushes to disk and renames onto the destination. Without `allowOverwrite` an existing
    // destination is left alone and the commit fails.
    bool Commit(bool allowOverwrite, std::string& error);

    const std::string& TemporaryPath() const { return m_temporaryPath; }

private:
    PartialFile(int fd, std::string temporaryPath, std::string destination);
    void CloseFile();

    int m_fd;
    std::string m_temporaryPath;
    std::string m_destination;
    bool m_committed = false;
};
