#pragma once

#include <string_view>

#include "runtime/Runtime.h"

// Registers the runtime class that stands for the C++ class T (once), with a factory that makes
// a default T, and answers it.
template <typename T> Class RegisterRuntimeClass(std::string_view name, Class superclass) {
    return objc_registerClass(name, superclass, []() -> id { return new T(); });
}
