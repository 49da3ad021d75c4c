#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A file written under a hidden name beside its target and renamed onto it only when complete,
// so the target is either untouched or whole. Without Commit, the destructor removes it.
class TemporaryFile {
public:
    // Throws std::runtime_error ("cannot write: REASON") when the folder refuses the file.
    explicit TemporaryFile(const std::string& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    TemporaryFile(TemporaryFile&&) = delete;
    TemporaryFile& operator=(TemporaryFile&&) = delete;

    void Write(const std::vector<uint8_t>& bytes);
    // Flushes to disk and renames onto the target.
    void Commit();

private:
    std::string m_target;
    std::string m_path;
    int m_fd = -1;
    bool m_committed = false;
};
