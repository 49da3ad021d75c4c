#include <gtest/gtest.h>

#include "foundation/objects/NSNotification.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/NSString.h"
#include "runtime/MessageSend.h"

namespace {

std::vector<std::string>* delivered = nullptr;

void Observe(id self, SEL selector, id note) {
    auto* notification = dynamic_cast<NSNotification*>(note);
    auto* text = dynamic_cast<NSString*>(notification->object());
    delivered->push_back(NSStringFromClass(object_getClass(self)) + " " +
                         NSStringFromSelector(selector) + " " + notification->name() + " " +
                         (text ? text->UTF8String() : "-"));
}

void ObserveAndLeave(id self, SEL selector, id note) {
    Observe(self, selector, note);
    NSNotificationCenter::defaultCenter().removeObserver(self);
}

TEST(NotificationCenterTest, DeliversByNameAndSenderInRegistrationOrder) {
    std::vector<std::string> lines;
    delivered = &lines;
    Class cls = objc_registerClass("NoteObserver", NSObject::RootClass());
    class_defineMethod(cls, "seen:", &Observe);
    class_defineMethod(cls, "leave:", &ObserveAndLeave);
    Ref<NSObject> first = class_createInstance(cls);
    Ref<NSObject> second = class_createInstance(cls);
    Ref<NSString> sender = NSString::stringWithString("sender");
    NSNotificationCenter& center = NSNotificationCenter::defaultCenter();

    center.addObserver(first.get(), sel_registerName("leave:"), "Ping", nullptr);
    center.addObserver(second.get(), sel_registerName("seen:"), "Ping", sender.get());
    center.postNotificationName("Ping", sender.get());
    center.postNotificationName("Ping", nullptr); // the second only wants its sender's
    center.postNotificationName("Other", sender.get());
    center.removeObserver(second.get());
    center.postNotificationName("Ping", sender.get());

    EXPECT_EQ(lines, (std::vector<std::string>{"NoteObserver leave: Ping sender",
                                               "NoteObserver seen: Ping sender"}));
    objc_disposeClass(cls);
    delivered = nullptr;
}

} // namespace
