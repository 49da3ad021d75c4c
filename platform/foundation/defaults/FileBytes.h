#pragma once

#include <cstddef>
#include <limits>
#include <string>

#include "foundation/Outcome.h"

// Reads a whole file. On failure the code is the errno value, so callers can tell "not there"
// (ENOENT) from "there but unreadable". A file of more than `mostBytes` is not read whole: it
// fails with EFBIG.
Outcome<std::string> ReadFileBytes(const std::string& path,
                                   size_t mostBytes = std::numeric_limits<size_t>::max());
