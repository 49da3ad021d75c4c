#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>

// Reads a whole file. Null when it cannot be read; `error` (when given) then holds the errno
// value, so callers can tell "not there" (ENOENT) from "there but unreadable". A file of more
// than `mostBytes` is not read whole: null, with EFBIG.
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr,
                                         size_t mostBytes = std::numeric_limits<size_t>::max());
