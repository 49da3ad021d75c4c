#pragma once

#include <atomic>

#include "runtime/Ref.h"

struct objc_class;
using Class = objc_class*;

// The root of every runtime object: it knows its class (its `isa`, which message sends look
// methods up in) and counts its references. The last release destroys it.
class NSObject {
public:
    NSObject();
    explicit NSObject(Class isa) : m_isa(isa) {}
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;
    NSObject(NSObject&&) = delete;
    NSObject& operator=(NSObject&&) = delete;

    void retain() const { m_references.fetch_add(1, std::memory_order_relaxed); }
    void release() const;
    int retainCount() const { return m_references.load(std::memory_order_relaxed); }

    Class isa() const { return m_isa; }
    // Runtime classes are made after some of their objects' C++ base parts: the factory that
    // makes an object for a class stamps the class in.
    void setIsa(Class isa) { m_isa = isa; }

    // The runtime class registered for this C++ root: "NSObject".
    static Class RootClass();

protected:
    virtual ~NSObject() = default;

private:
    Class m_isa;
    mutable std::atomic<int> m_references{1};
};

using id = NSObject*;
