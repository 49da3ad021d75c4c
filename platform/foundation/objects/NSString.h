#pragma once

#include <string>

#include "runtime/NSObject.h"

// An immutable string object, for the places where text travels as an object.
class NSString : public NSObject {
public:
    NSString() : NSString(std::string()) {}
    explicit NSString(std::string text);
    static Class ClassObject();
    static Ref<NSString> stringWithString(std::string text);

    const std::string& UTF8String() const { return m_text; }

private:
    std::string m_text;
};
