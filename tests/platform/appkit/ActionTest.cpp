#include <gtest/gtest.h>

#include "appkit/NSApplication.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "foundation/Log.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// A target whose actions record what reached them.
class ActionTarget : public NSObject {
public:
    ActionTarget() : NSObject(ClassObject()) {}
    static Class ClassObject();

    std::vector<id> senders;
    std::optional<NSEvent> eventSeen;
    Ref<NSMenu> menuToEmpty; // "removeSelf:" takes the sender out of this menu
};

void Record(id self, SEL, id sender) {
    auto* target = static_cast<ActionTarget*>(self);
    target->senders.push_back(sender);
    target->eventSeen = NSApp().currentEvent();
}

void RemoveSelf(id self, SEL, id sender) {
    auto* target = static_cast<ActionTarget*>(self);
    target->menuToEmpty->removeItemAtIndex(0);
    // The sender must still be usable after leaving its last owner.
    target->senders.push_back(sender);
    static_cast<NSMenuItem*>(sender)->setTitle("gone");
}

void NoSender(id, SEL) {
}

Class ActionTarget::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<ActionTarget>("AppkitActionTarget", NSObject::RootClass());
        class_defineMethod(made, "record:", &Record);
        class_defineMethod(made, "removeSelf:", &RemoveSelf);
        class_defineMethod(made, "noSender:", &NoSender);
        return made;
    }();
    return cls;
}

TEST(ActionTest, SendActionReachesARuntimeMethodWithTheSender) {
    Ref<ActionTarget> target = MakeRef<ActionTarget>();
    Ref<NSObject> sender = MakeRef<NSObject>();
    EXPECT_TRUE(NSApp().sendAction(sel_registerName("record:"), target.get(), sender.get()));
    EXPECT_EQ(target->senders, std::vector<id>{sender.get()});

    EXPECT_FALSE(NSApp().sendAction(sel_registerName("unknown:"), target.get(), sender.get()));
    EXPECT_FALSE(NSApp().sendAction(sel_registerName("record:"), nullptr, sender.get()));
    EXPECT_FALSE(NSApp().sendAction(nullptr, target.get(), sender.get()));
    EXPECT_EQ(target->senders.size(), 1U);
}

TEST(ActionTest, AMethodWithoutASenderIsRefusedAndLogged) {
    Ref<ActionTarget> target = MakeRef<ActionTarget>();
    LogCapture log;
    EXPECT_FALSE(NSApp().sendAction(sel_registerName("noSender:"), target.get(), nullptr));
    ASSERT_EQ(log.Lines().size(), 1U);
    EXPECT_NE(log.Lines()[0].find("noSender:"), std::string::npos);
}

TEST(ActionTest, AClickBecomesTheCurrentEventAndSendsTheItemsAction) {
    Ref<ActionTarget> target = MakeRef<ActionTarget>();
    Ref<NSMenuItem> item = NSMenuItem::initWithTitle("List", sel_registerName("record:"), "");
    item->setTarget(target.get());

    ASSERT_TRUE(NSApp().performClick(*item));
    ASSERT_EQ(target->senders, std::vector<id>{item.get()});
    ASSERT_TRUE(target->eventSeen.has_value());
    EXPECT_EQ(target->eventSeen->type, NSEventType::LeftMouseUp);
    uint64_t first = target->eventSeen->eventNumber;

    ASSERT_TRUE(NSApp().performClick(*item));
    EXPECT_EQ(target->eventSeen->eventNumber, first + 1);
    EXPECT_EQ(NSApp().currentEvent()->eventNumber, first + 1);

    item->setEnabled(false);
    EXPECT_FALSE(NSApp().performClick(*item));
    EXPECT_EQ(target->senders.size(), 2U);
    EXPECT_EQ(NSApp().currentEvent()->eventNumber, first + 1); // a disabled item is no event

    item->setEnabled(true);
    item->setTarget(nullptr);
    EXPECT_FALSE(NSApp().performClick(*item));
}

TEST(ActionTest, AnActionMayRemoveItsOwnItem) {
    Ref<ActionTarget> target = MakeRef<ActionTarget>();
    target->menuToEmpty = MakeRef<NSMenu>("Menu");
    Ref<NSMenuItem> item = NSMenuItem::initWithTitle("Once", sel_registerName("removeSelf:"), "");
    item->setTarget(target.get());
    target->menuToEmpty->addItem(item);
    NSMenuItem* raw = item.get();
    item.reset(); // the menu is the only owner now

    EXPECT_TRUE(NSApp().performClick(*raw));
    EXPECT_EQ(target->menuToEmpty->numberOfItems(), 0);
    EXPECT_EQ(target->senders.size(), 1U);
}

TEST(ActionTest, TheApplicationHoldsTheMainMenu) {
    Ref<NSMenu> bar = MakeRef<NSMenu>("Main");
    NSApp().setMainMenu(bar);
    EXPECT_EQ(NSApp().mainMenu(), bar.get());
    NSApp().setMainMenu(nullptr);
    EXPECT_EQ(NSApp().mainMenu(), nullptr);
}

} // namespace
