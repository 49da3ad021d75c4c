#include "host/MethodSwizzle.h"

#include <gtest/gtest.h>

#include "foundation/Log.h"
#include "runtime/MessageSend.h"

namespace {

std::string Host(id, SEL) {
    return "host";
}
std::string Inherited(id, SEL) {
    return "inherited";
}
std::string Replacement(id, SEL self) {
    return "replacement via " + NSStringFromSelector(self);
}
std::string CallsOn(id self, SEL) {
    return "before " + objc_msgSend<std::string>(self, "sb_show");
}

// Two classes, Base and Derived, made fresh for each test, and a replacement method "sb_show"
// on the root class, the way a category puts it there.
class MethodSwizzleTest : public ::testing::Test {
protected:
    void SetUp() override {
        base = objc_registerClass("SwizzleBase", NSObject::RootClass());
        derived = objc_registerClass("SwizzleDerived", base);
        class_defineMethod(NSObject::RootClass(), "sb_show", &CallsOn);
        class_defineMethod(NSObject::RootClass(), "sb_xshow", &Replacement);
    }
    void TearDown() override {
        objc_disposeClass(derived);
        objc_disposeClass(base);
        for (const char* name : {"sb_show", "sb_xshow"}) {
            NSObject::RootClass()->methods.erase(sel_registerName(name));
        }
    }
    std::string Show(Class cls, const char* selector = "show") {
        Ref<NSObject> object = class_createInstance(cls);
        return objc_msgSend<std::string>(object.get(), selector);
    }

    Class base = nullptr;
    Class derived = nullptr;
    LogCapture log;
};

TEST_F(MethodSwizzleTest, OwnImplementationChangesPlacesWithTheInheritedReplacement) {
    class_defineMethod(derived, "show", &Host);
    swizzleMethods({{std::string("SwizzleDerived"), std::string("show"), true}});
    EXPECT_EQ(Show(derived), "before host");
    // The root's entry was the one exchanged: every class now reaches the host code through it.
    EXPECT_EQ(Show(derived, "sb_show"), "host");
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(MethodSwizzleTest, InheritedOriginalGetsOwnEntriesAndTheSuperclassStaysUnchanged) {
    class_defineMethod(base, "show", &Inherited);
    EXPECT_TRUE(
        MethodSwizzle(derived, sel_registerName("show"), sel_registerName("sb_show"), true));
    EXPECT_EQ(Show(derived), "before inherited");
    EXPECT_EQ(Show(base), "inherited");
    // The superclass keeps its one entry, and reaches "sb_show" through the root as before.
    EXPECT_EQ(base->methods.size(), 1U);
    EXPECT_EQ(class_getInstanceMethod(base, sel_registerName("sb_show")),
              class_getInstanceMethod(NSObject::RootClass(), sel_registerName("sb_show")));
}

TEST_F(MethodSwizzleTest, ClassSideThatOnlyInstancesAnswerIsRefusedWithAWarning) {
    class_defineMethod(derived, "show", &Host);
    EXPECT_FALSE(
        MethodSwizzle(derived, sel_registerName("show"), sel_registerName("sb_show"), false));
    EXPECT_FALSE(MethodSwizzle(base, sel_registerName("show"), sel_registerName("sb_show"), true));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "Warning: Class SwizzleDerived does not respond to show",
                               "Warning: Instances of class SwizzleBase do not respond to show"}));
    EXPECT_EQ(Show(derived), "host");
}

TEST_F(MethodSwizzleTest, InfixAndAFailingFirstEntryThatDoesNotStopTheWalk) {
    class_defineMethod(derived, "show", &Host);
    swizzleMethods({
        {std::string("NoSuchClass"), std::string("show"), true},
        {std::string("SwizzleDerived"), std::string("show"), true, std::string("x")},
        {std::string("SwizzleDerived")}, // too short: skipped
    });
    EXPECT_EQ(Show(derived), "replacement via show");
    EXPECT_EQ(Show(derived, "sb_xshow"), "host");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "Warning: Instances of class (null) do not respond to show"});
}

TEST_F(MethodSwizzleTest, RunningTheSameRequestTwiceExchangesBack) {
    class_defineMethod(derived, "show", &Host);
    const std::vector<SwizzleEntry> request = {
        {std::string("SwizzleDerived"), std::string("show"), true}};
    swizzleMethods(request);
    swizzleMethods(request);
    EXPECT_EQ(Show(derived), "host");
}

} // namespace
