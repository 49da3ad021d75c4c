#pragma once

#include <cstddef>

// A span of a string, in UTF-16 code units as the original platform counts its strings.
struct NSRange {
    size_t location = 0;
    size_t length = 0;
    friend bool operator==(const NSRange&, const NSRange&) = default;
};

inline NSRange NSMakeRange(size_t location, size_t length) {
    return {location, length};
}

// The first index past the range.
inline size_t NSMaxRange(NSRange range) {
    return range.location + range.length;
}
