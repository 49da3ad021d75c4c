#pragma once

#include <vector>

#include "runtime/NSObject.h"

// An ordered list of objects, holding a reference to each.
class NSArray : public NSObject {
public:
    NSArray() : NSArray(std::vector<Ref<NSObject>>()) {}
    explicit NSArray(std::vector<Ref<NSObject>> objects);
    static Class ClassObject();

    size_t count() const { return m_objects.size(); }
    NSObject* objectAtIndex(size_t index) const { return m_objects.at(index).get(); }
    const std::vector<Ref<NSObject>>& objects() const { return m_objects; }

private:
    std::vector<Ref<NSObject>> m_objects;
};
