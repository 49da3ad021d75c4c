#pragma once

#include <string>

#include "runtime/NSObject.h"

// What observers receive: the notification's name and the object it is about (may be null).
class NSNotification : public NSObject {
public:
    NSNotification() = default;
    NSNotification(std::string name, Ref<NSObject> object);
    static Class ClassObject();

    const std::string& name() const { return m_name; }
    NSObject* object() const { return m_object.get(); }

private:
    std::string m_name;
    Ref<NSObject> m_object;
};
