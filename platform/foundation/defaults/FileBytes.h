#pragma once

#include <optional>
#include <string>

// Reads a whole file. Null when it cannot be read; `error` (when given) then holds the errno
// value, so callers can tell "not there" (ENOENT) from "there but unreadable".
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr);
