#pragma once

#include <functional>
#include <string>

#include "runtime/NSObject.h"

// How an owner takes one outlet: whether an object fits, and storing it.
struct NibOutlet {
    std::function<bool(id owner, id object)> accepts;
    std::function<void(id owner, id object)> connect;
};

// The outlets each owner class declares, by field name. A class answers for its own outlets
// and those of its superclasses. Declarations happen on the main thread, when the class is
// registered.
class NibOutletTable {
public:
    static void Declare(Class cls, const std::string& name, NibOutlet outlet);

    // The usual case: a retained field of the owner's C++ class. The object must be a T.
    template <typename Owner, typename T>
    static void Declare(Class cls, const std::string& name, Ref<T> Owner::*field) {
        Declare(cls, name,
                NibOutlet{[](id owner, id object) {
                              return dynamic_cast<Owner*>(owner) != nullptr &&
                                     dynamic_cast<T*>(object) != nullptr;
                          },
                          [field](id owner, id object) {
                              dynamic_cast<Owner*>(owner)->*field =
                                  Ref<T>(dynamic_cast<T*>(object));
                          }});
    }

    // Walks the class and its superclasses; null when none declares the name.
    static const NibOutlet* Find(Class cls, const std::string& name);
    // Forgets a class's own declarations (tests dispose of their classes).
    static void Forget(Class cls);
};
