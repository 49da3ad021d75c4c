#pragma once

#include <string>
#include <string_view>

#include "foundation/Outcome.h"

// The largest PNG image inside an icon container ("icns": an 8-byte header of the magic and
// the total length, then entries of a 4-byte type and a 4-byte big-endian length that counts
// the entry's own header). Lengths are checked against the bytes at hand, never trusted.
Outcome<std::string> LargestPngInIcns(std::string_view container);
