#include "TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "SwfWriter.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "swfharvex-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string path = *this / name;
    SwfWriter::WriteFile(path, bytes);
    return path;
}
