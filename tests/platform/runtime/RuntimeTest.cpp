#include <gtest/gtest.h>

#include "foundation/Geometry.h"
#include "runtime/MessageSend.h"

namespace {

// A class made fresh for every test, under the root class, and removed afterwards.
class RuntimeTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (Class cls : made) {
            objc_disposeClass(cls);
        }
    }
    Class MakeClass(const std::string& name, Class superclass = NSObject::RootClass()) {
        made.push_back(objc_registerClass(name, superclass));
        return made.back();
    }

    std::vector<Class> made;
};

int32_t ReturnsOne(id, SEL) {
    return 1;
}
int32_t ReturnsTwo(id, SEL) {
    return 2;
}
int32_t AddsFloat(id, SEL, int32_t a, float b) {
    return a + static_cast<int32_t>(b);
}
id ReturnsSelf(id self, SEL) {
    return self;
}
NSRect Grows(id, SEL, NSRect rect, bool twice) {
    rect.size.width *= twice ? 4 : 2;
    return rect;
}

TEST_F(RuntimeTest, ClassesAreFoundByNameAndFormAHierarchy) {
    Class base = MakeClass("RTBase");
    Class derived = MakeClass("RTDerived", base);
    EXPECT_EQ(NSClassFromString("RTDerived"), derived);
    EXPECT_EQ(NSClassFromString("RTNoSuchClass"), nullptr);
    EXPECT_EQ(class_getSuperclass(derived), base);
    EXPECT_TRUE(class_isMetaClass(object_getClass(derived)));
    EXPECT_EQ(class_getSuperclass(object_getClass(derived)), object_getClass(base));
    EXPECT_EQ(objc_registerClass("RTDerived", base), derived);
    EXPECT_THROW(objc_registerClass("RTDerived", NSObject::RootClass()), std::invalid_argument);
    EXPECT_EQ(NSSelectorFromString("a:b:"), sel_registerName("a:b:"));
}

TEST_F(RuntimeTest, LookupWalksSuperclassesAndAddingOnlyFailsForOwnEntries) {
    Class base = MakeClass("RTBase");
    Class derived = MakeClass("RTDerived", base);
    SEL value = sel_registerName("value");
    class_defineMethod(base, "value", &ReturnsOne);
    EXPECT_TRUE(instancesRespondToSelector(derived, value));
    EXPECT_EQ(class_getInstanceMethod(derived, value), class_getInstanceMethod(base, value));

    EXPECT_TRUE(class_addMethod(derived, value, ToIMP(&ReturnsTwo), "i@:"));
    EXPECT_FALSE(class_addMethod(derived, value, ToIMP(&ReturnsOne), "i@:"));
    Ref<NSObject> object = class_createInstance(derived);
    EXPECT_EQ(objc_msgSend<int32_t>(object.get(), value), 2);
    Ref<NSObject> baseObject = class_createInstance(base);
    EXPECT_EQ(objc_msgSend<int32_t>(baseObject.get(), value), 1);
}

TEST_F(RuntimeTest, ClassSideLookupEndsInTheRootsInstanceMethods) {
    Class cls = MakeClass("RTClassSide");
    class_defineMethod(object_getClass(cls), "make", &ReturnsSelf);
    EXPECT_EQ(objc_msgSend<id>(cls, "make"), cls);
    EXPECT_FALSE(instancesRespondToSelector(cls, sel_registerName("make")));

    // A root instance method (such as a category on the root) answers on the class side too.
    SEL rootOnly = sel_registerName("rtRootOnly");
    class_defineMethod(NSObject::RootClass(), "rtRootOnly", &ReturnsOne);
    EXPECT_TRUE(instancesRespondToSelector(object_getClass(cls), rootOnly));
    EXPECT_EQ(objc_msgSend<int32_t>(cls, rootOnly), 1);
    NSObject::RootClass()->methods.erase(rootOnly);
}

TEST_F(RuntimeTest, ExchangeMovesImplementationsWithTheirEncodings) {
    Class cls = MakeClass("RTExchange");
    class_defineMethod(cls, "one", &ReturnsOne);
    class_defineMethod(cls, "self", &ReturnsSelf);
    Method one = class_getInstanceMethod(cls, sel_registerName("one"));
    Method self = class_getInstanceMethod(cls, sel_registerName("self"));
    method_exchangeImplementations(one, self);
    Ref<NSObject> object = class_createInstance(cls);
    EXPECT_EQ(objc_msgSend<id>(object.get(), "one"), object.get());
    EXPECT_EQ(objc_msgSend<int32_t>(object.get(), "self"), 1);
    EXPECT_THROW(objc_msgSend<int32_t>(object.get(), "one"), MessageSendError);
}

TEST_F(RuntimeTest, TypedSendsCheckTheSignatureBeforeCalling) {
    Class cls = MakeClass("RTTyped");
    class_defineMethod(cls, "add:to:", &AddsFloat);
    class_defineMethod(cls, "grow:twice:", &Grows);
    Ref<NSObject> object = class_createInstance(cls);
    EXPECT_EQ(objc_msgSend<int32_t>(object.get(), "add:to:", int32_t{2}, 3.5F), 5);
    NSRect grown = objc_msgSend<NSRect>(object.get(), "grow:twice:", NSMakeRect(1, 2, 3, 4), true);
    EXPECT_EQ(grown, NSMakeRect(1, 2, 12, 4));

    try {
        objc_msgSend<int32_t>(object.get(), "add:to:", 2.0, 3.5F);
        FAIL() << "a double sent where an int is taken must not be called";
    } catch (const MessageSendError& error) {
        EXPECT_STREQ(error.what(), "[RTTyped add:to:] takes 'i@:if' but was sent 'i@:df'");
    }
    EXPECT_THROW(objc_msgSend<void>(object.get(), "add:to:", int32_t{2}, 3.5F), MessageSendError);
    EXPECT_THROW(objc_msgSend<int32_t>(object.get(), "missing"), MessageSendError);
    // A message to nil does nothing and answers zero.
    EXPECT_EQ(objc_msgSend<int32_t>(nullptr, "missing"), 0);
}

TEST_F(RuntimeTest, ObjectsAreCountedAndFreedOnTheLastRelease) {
    Ref<NSObject> object = class_createInstance(MakeClass("RTCounted"));
    EXPECT_EQ(object->retainCount(), 1);
    {
        Ref<NSObject> second = object;
        EXPECT_EQ(object->retainCount(), 2);
    }
    EXPECT_EQ(object->retainCount(), 1);
    EXPECT_EQ(NSStringFromClass(object_getClass(object.get())), "RTCounted");
}

} // namespace
