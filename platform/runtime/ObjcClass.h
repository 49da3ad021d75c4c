#pragma once

#include <string>
#include <unordered_map>

#include "runtime/NSObject.h"
#include "runtime/Selector.h"

using IMP = void (*)();

// A method table entry: an implementation and the type encoding of its signature. Exchanges move
// implementations and encodings between entries; the entries themselves stay where they are.
struct objc_method {
    SEL name;
    IMP imp;
    std::string types;
};
using Method = objc_method*;

// A class is itself an object: its isa is its metaclass, which holds the class methods. Lookups
// walk the superclass chain; the root metaclass's superclass is the root class, so class-side
// lookups end in the root's instance methods, as on the original runtime.
struct objc_class : NSObject {
    objc_class(std::string className, Class superClass, bool isMeta)
        : NSObject(nullptr), name(std::move(className)), superclass(superClass), meta(isMeta) {}

    std::string name;
    Class superclass;
    bool meta;
    // Node-based, so a Method stays valid while other entries are added.
    std::unordered_map<SEL, objc_method> methods;
    // Makes a C++ object for an instance of this class (inherited from the superclass when
    // unset); the runtime stamps the class into it.
    id (*factory)() = nullptr;
    // The bundle the class came from, set by whoever loads bundles; null for the host's own.
    const void* bundle = nullptr;
};
