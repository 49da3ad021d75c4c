#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/MessageSend.h"

// Declares a runtime method from a C++ member function, once: the trampoline the runtime calls
// is made here from the member's own signature, so a class lists its selectors and members and
// nothing else.
//
//   DefineMethod<&Controller::onReload>(cls, "onReload:");
//   DefineMethod<&Controller::sharedController>(object_getClass(cls), "sharedController");
//
// Objects travel as `id` and arrive as the member's own pointer type (null when the object is of
// another class); the receiver must be the member's class or the message fails loudly
// (MessageSendError), never by calling a member on the wrong object. Strings travel by value.

namespace member_method_detail {

// What a parameter of the member travels as, and how it is turned back.
template <typename P> struct Parameter {
    using Transported = TransportedT<P>;
    static P From(Transported value) { return value; }
};
template <typename T>
requires std::is_base_of_v<NSObject, T>
struct Parameter<T*> {
    using Transported = id;
    static T* From(id value) { return dynamic_cast<T*>(value); }
};
template <> struct Parameter<const std::string&> {
    using Transported = std::string;
    static const std::string& From(const std::string& value) { return value; }
};

template <typename T> T* Receiver(id self, SEL cmd) {
    auto* typed = dynamic_cast<T*>(self);
    if (typed == nullptr) {
        throw MessageSendError("-[" + NSStringFromClass(object_getClass(self)) + " " +
                               NSStringFromSelector(cmd) + "]: receiver is not of the class " +
                               "that implements it");
    }
    return typed;
}

template <auto Function, typename = decltype(Function)> struct Trampoline;

template <auto Member, typename T, typename R, typename... Args>
struct Trampoline<Member, R (T::*)(Args...)> {
    static TransportedT<R> Call(id self, SEL cmd, typename Parameter<Args>::Transported... args) {
        return (Receiver<T>(self, cmd)->*Member)(Parameter<Args>::From(args)...);
    }
};

template <auto Member, typename T, typename R, typename... Args>
struct Trampoline<Member, R (T::*)(Args...) const> {
    static TransportedT<R> Call(id self, SEL cmd, typename Parameter<Args>::Transported... args) {
        return (Receiver<T>(self, cmd)->*Member)(Parameter<Args>::From(args)...);
    }
};

// A static member or free function: a class method, whose receiver is the class itself.
template <auto Function, typename R, typename... Args> struct Trampoline<Function, R (*)(Args...)> {
    static TransportedT<R> Call(id /*self*/, SEL /*cmd*/,
                                typename Parameter<Args>::Transported... args) {
        return Function(Parameter<Args>::From(args)...);
    }
};

} // namespace member_method_detail

template <auto Function> void DefineMethod(Class cls, std::string_view selector) {
    class_defineMethod(cls, selector, &member_method_detail::Trampoline<Function>::Call);
}
