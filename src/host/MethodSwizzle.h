#pragma once

#include <string>
#include <variant>
#include <vector>

#include "runtime/Runtime.h"

// One item of an exchange request entry: a name (class, selector, infix) or the side flag.
using SwizzleItem = std::variant<std::string, bool>;
// {class name, selector name, instance side?} or {class name, selector name, instance side?, infix}
using SwizzleEntry = std::vector<SwizzleItem>;

// Puts the "sb_" method (with the entry's infix, if any) in front of each named method, entry by
// entry; an entry that fails is logged and the walk goes on.
void swizzleMethods(const std::vector<SwizzleEntry>& request);

// Makes `replaced` run the implementation of `replacement` on the chosen side of the class, and
// `replacement` run the one `replaced` had. False (and a warning line) when that side does not
// respond to `replaced`.
bool MethodSwizzle(Class cls, SEL replaced, SEL replacement, bool instanceSide);
