#include "host/MethodSwizzle.h"

#include "foundation/Log.h"

namespace {

constexpr const char* kReplacementPrefix = "sb_";

std::string NameAt(const SwizzleEntry& entry, size_t index) {
    const auto* name = std::get_if<std::string>(&entry[index]);
    return name == nullptr ? std::string() : *name;
}

} // namespace

void swizzleMethods(const std::vector<SwizzleEntry>& request) {
    for (const SwizzleEntry& entry : request) {
        if (entry.size() < 3) {
            continue; // too short to name a class, a selector and a side
        }
        const auto* side = std::get_if<bool>(&entry[2]);
        bool instanceSide = side != nullptr && *side;
        std::string selectorName = NameAt(entry, 1);
        std::string infix = entry.size() == 4 ? NameAt(entry, 3) : std::string();
        std::string replacementName = kReplacementPrefix;
        replacementName += infix;
        replacementName += selectorName;
        SEL replacement = sel_registerName(replacementName);
        SEL replaced = sel_registerName(selectorName);
        Class cls = NSClassFromString(NameAt(entry, 0));
        MethodSwizzle(cls, replaced, replacement, instanceSide);
    }
}

bool MethodSwizzle(Class cls, SEL replaced, SEL replacement, bool instanceSide) {
    Class target = instanceSide ? cls : object_getClass(cls);
    if (!instancesRespondToSelector(target, replaced)) {
        NSLog((instanceSide ? "Warning: Instances of class " : "Warning: Class ") +
              NSStringFromClass(cls) +
              (instanceSide ? " do not respond to " : " does not respond to ") +
              NSStringFromSelector(replaced));
        return false;
    }
    Method original = class_getInstanceMethod(target, replaced);
    Method substitute = class_getInstanceMethod(target, replacement);
    if (substitute == nullptr) {
        return false; // nothing to put in front; the class stays as it is
    }
    if (class_addMethod(target, replaced, method_getImplementation(substitute),
                        method_getTypeEncoding(substitute))) {
        // The target only inherited the original: give it its own pair, leave the superclass be.
        class_replaceMethod(target, replacement, method_getImplementation(original),
                            method_getTypeEncoding(original));
    } else {
        method_exchangeImplementations(original, substitute);
    }
    return true;
}
