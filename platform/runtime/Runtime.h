#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ObjcClass.h"

// The object runtime: a registry of classes by name, and the operations on method tables that
// method exchange is built from. Class registration and method changes happen on the main
// thread, before the classes are used; lookups take a lock so that any thread may look.

// A message that cannot be delivered: an unknown selector, or a method whose signature differs
// from the one the sender used. Loud on purpose: a call through the wrong signature would
// corrupt the stack instead.
class MessageSendError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

Class objc_registerRootClass(std::string_view name);
// Registers a new class (and its metaclass) under `superclass`; returns the existing class when
// the name is taken by a class with the same superclass, and throws when it is taken otherwise.
Class objc_registerClass(std::string_view name, Class superclass, id (*factory)() = nullptr);
// Removes a class made by a test so that the next test can register it afresh.
void objc_disposeClass(Class cls);

Class NSClassFromString(std::string_view name);
std::string NSStringFromClass(Class cls);
Class object_getClass(const NSObject* object);
Class class_getSuperclass(Class cls);
bool class_isMetaClass(Class cls);

Method class_getInstanceMethod(Class cls, SEL selector);
Method class_getClassMethod(Class cls, SEL selector);
bool class_addMethod(Class cls, SEL selector, IMP imp, std::string_view types);
IMP class_replaceMethod(Class cls, SEL selector, IMP imp, std::string_view types);
IMP method_getImplementation(Method method);
const char* method_getTypeEncoding(Method method);
void method_exchangeImplementations(Method first, Method second);
bool instancesRespondToSelector(Class cls, SEL selector);
bool respondsToSelector(const NSObject* object, SEL selector);

// A fresh instance of the class, owned by the caller: the C++ object its factory makes.
Ref<NSObject> class_createInstance(Class cls);

// A mark in the registration history, and the classes registered after it, in order: the bundle
// loader learns this way which classes a bundle brought.
size_t objc_registrationMark();
std::vector<Class> objc_classesRegisteredSince(size_t mark);
