#pragma once

#include <string>
#include <string_view>

// A selector is its interned name: two selectors with the same name are the same pointer, so
// selectors compare and hash as pointers.
struct objc_selector {
    std::string name;
};
using SEL = const objc_selector*;

SEL sel_registerName(std::string_view name);
SEL NSSelectorFromString(std::string_view name);
std::string NSStringFromSelector(SEL selector);
