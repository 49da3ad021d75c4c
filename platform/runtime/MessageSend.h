#pragma once

#include <string_view>
#include <utility>

#include "runtime/Runtime.h"
#include "runtime/TypeEncoding.h"

// Sends a message: looks the selector up in the receiver's class and calls the implementation,
// but only after checking that its recorded signature is the one this call uses. A message to
// nil does nothing and answers a zero value, as on the original runtime.
template <typename R = void, typename... Args>
R objc_msgSend(const NSObject* receiver, SEL selector, Args&&... args) {
    if (receiver == nullptr) {
        if constexpr (std::is_void_v<R>) {
            return;
        } else {
            return R{};
        }
    }
    Method method = class_getInstanceMethod(object_getClass(receiver), selector);
    if (method == nullptr) {
        throw MessageSendError((class_isMetaClass(receiver->isa()) ? "+[" : "-[") +
                               NSStringFromClass(receiver->isa()) + " " +
                               NSStringFromSelector(selector) + "]: unrecognized selector");
    }
    std::string sent = EncodeSignature<R, TransportedT<Args>...>();
    if (sent != method_getTypeEncoding(method)) {
        throw MessageSendError("[" + NSStringFromClass(receiver->isa()) + " " +
                               NSStringFromSelector(selector) + "] takes '" +
                               method_getTypeEncoding(method) + "' but was sent '" + sent + "'");
    }
    using Function = R (*)(id, SEL, TransportedT<Args>...);
    auto function = reinterpret_cast<Function>(method_getImplementation(method));
    return function(const_cast<id>(receiver), selector,
                    static_cast<TransportedT<Args>>(std::forward<Args>(args))...);
}

template <typename R = void, typename... Args>
R objc_msgSend(const NSObject* receiver, std::string_view selector, Args&&... args) {
    return objc_msgSend<R>(receiver, sel_registerName(selector), std::forward<Args>(args)...);
}

// The encoding of an implementation, read off its C++ signature. Implementations take every
// object as `id`, exactly as senders transport them.
template <typename R, typename... Args> std::string EncodeImplementation(R (*)(id, SEL, Args...)) {
    static_assert((std::is_same_v<Args, TransportedT<Args>> && ...),
                  "implementations take objects as id and other values by value");
    return EncodeSignature<R, Args...>();
}

template <typename R, typename... Args> IMP ToIMP(R (*function)(id, SEL, Args...)) {
    return reinterpret_cast<IMP>(function);
}

// Adds an implementation to a class's own table under the selector's name (replacing an entry
// already there, as a category does).
template <typename R, typename... Args>
void class_defineMethod(Class cls, std::string_view selector, R (*function)(id, SEL, Args...)) {
    class_replaceMethod(cls, sel_registerName(selector), ToIMP(function),
                        EncodeImplementation(function));
}
