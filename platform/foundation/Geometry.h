#pragma once

#include "runtime/TypeEncoding.h"

// Points, in the original platform's coordinates (origin bottom-left).
struct NSPoint {
    float x = 0;
    float y = 0;
    friend bool operator==(const NSPoint&, const NSPoint&) = default;
};
struct NSSize {
    float width = 0;
    float height = 0;
    friend bool operator==(const NSSize&, const NSSize&) = default;
};
struct NSRect {
    NSPoint origin;
    NSSize size;
    friend bool operator==(const NSRect&, const NSRect&) = default;
};

inline NSRect NSMakeRect(float x, float y, float width, float height) {
    return {{x, y}, {width, height}};
}

template <> struct TypeEncoding<NSRect> {
    static constexpr const char* value = "{NSRect={NSPoint=ff}{NSSize=ff}}";
};
