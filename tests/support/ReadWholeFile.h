#pragma once

#include <fstream>
#include <sstream>
#include <string>

// The bytes of a file, or "" when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
