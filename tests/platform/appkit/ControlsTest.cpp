#include <cmath>

#include <gtest/gtest.h>

#include "appkit/NSApplication.h"
#include "appkit/NSButton.h"
#include "appkit/NSColor.h"
#include "appkit/NSComboBox.h"
#include "appkit/NSTextField.h"
#include "appkit/NSView.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// Counts the notifications an object sends.
void Count(ModelObject& object, int& counter) {
    object.AddObserver([&counter] { ++counter; });
}

class ControlsTarget : public NSObject {
public:
    ControlsTarget() : NSObject(ClassObject()) {}
    static Class ClassObject();
    std::vector<std::string> senders;
};

void Pressed(id self, SEL, id sender) {
    static_cast<ControlsTarget*>(self)->senders.push_back(
        NSStringFromClass(object_getClass(sender)));
}

Class ControlsTarget::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<ControlsTarget>("ControlsTarget", NSObject::RootClass());
        class_defineMethod(made, "pressed:", &Pressed);
        return made;
    }();
    return cls;
}

TEST(ControlsTest, ButtonNotifiesOnlyOnChangeDescribesAndSendsWhenEnabled) {
    Ref<NSButton> button = MakeRef<NSButton>();
    int changes = 0;
    Count(*button, changes);
    button->setTitle("Save");
    button->setTitle("Save");
    button->setToolTip("Saves the movie");
    button->setEnabled(true); // already enabled
    EXPECT_EQ(changes, 2);

    Ref<ControlsTarget> target = MakeRef<ControlsTarget>();
    button->setTarget(target.get());
    button->setAction(sel_registerName("pressed:"));
    nlohmann::json description = button->Describe();
    EXPECT_EQ(description["class"], "NSButton");
    EXPECT_EQ(description["title"], "Save");
    EXPECT_EQ(description["toolTip"], "Saves the movie");
    EXPECT_EQ(description["action"], "pressed:");
    EXPECT_EQ(description["target"], "ControlsTarget");

    EXPECT_TRUE(NSApp().performClick(*button));
    button->setEnabled(false);
    EXPECT_FALSE(NSApp().performClick(*button));
    EXPECT_EQ(target->senders, std::vector<std::string>{"NSButton"});
    EXPECT_EQ(button->Describe()["enabled"], false);
}

TEST(ControlsTest, TextFieldKeepsAColourAndDescribesIt) {
    Ref<NSTextField> field = MakeRef<NSTextField>();
    int changes = 0;
    Count(*field, changes);
    EXPECT_EQ(field->textColor()->Describe()["red"], 0.0F);
    field->setStringValue("movie.swf");
    field->setEditable(false);
    field->setToolTip("name");
    const float grey = 78.0F / 255.0F;
    field->setTextColor(NSColor::colorWithCalibratedRed(grey, grey, grey, 1));
    // An equal colour is no change.
    field->setTextColor(NSColor::colorWithCalibratedRed(grey, grey, grey, 1));
    EXPECT_EQ(changes, 4);

    nlohmann::json description = field->Describe();
    EXPECT_EQ(description["stringValue"], "movie.swf");
    EXPECT_EQ(description["editable"], false);
    EXPECT_FLOAT_EQ(description["textColor"]["green"].get<float>(), grey);

    field->setTextColor(nullptr);
    EXPECT_TRUE(field->textColor()->isEqual(*NSColor::blackColor()));
}

TEST(ControlsTest, ColourComponentsAreClamped) {
    Ref<NSColor> color = NSColor::colorWithCalibratedRed(-1, 2, 0.5F, std::nanf(""));
    EXPECT_EQ(color->redComponent(), 0);
    EXPECT_EQ(color->greenComponent(), 1);
    EXPECT_EQ(color->blueComponent(), 0.5F);
    EXPECT_EQ(color->alphaComponent(), 0);
}

TEST(ControlsTest, ComboBoxItemsIndexAndNotify) {
    Ref<NSComboBox> box = MakeRef<NSComboBox>();
    int changes = 0;
    Count(*box, changes);
    box->addItemWithObjectValue("/home/a");
    box->addItemWithObjectValue("/home/b");
    box->setStringValue("/home/b");
    EXPECT_EQ(box->numberOfItems(), 2);
    EXPECT_EQ(box->itemObjectValueAtIndex(1), "/home/b");
    EXPECT_EQ(box->itemObjectValueAtIndex(2), std::nullopt);
    EXPECT_EQ(box->itemObjectValueAtIndex(-1), std::nullopt);
    nlohmann::json description = box->Describe();
    EXPECT_EQ(description["class"], "NSComboBox");
    EXPECT_EQ(description["items"], (nlohmann::json{"/home/a", "/home/b"}));
    EXPECT_EQ(description["stringValue"], "/home/b");

    box->removeAllItems();
    box->removeAllItems(); // nothing left to remove
    box->reloadData();
    EXPECT_EQ(box->numberOfItems(), 0);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(box->stringValue(), "/home/b");
}

TEST(ControlsTest, ViewsFormATree) {
    Ref<NSView> root = MakeRef<NSView>();
    Ref<NSView> child = MakeRef<NSView>();
    Ref<NSView> grandchild = MakeRef<NSView>();
    int rootChanges = 0;
    Count(*root, rootChanges);
    ASSERT_TRUE(root->addSubview(child));
    ASSERT_TRUE(child->addSubview(grandchild));
    EXPECT_FALSE(grandchild->addSubview(root)); // a cycle
    EXPECT_FALSE(root->addSubview(grandchild)); // already in a view
    EXPECT_FALSE(child->addSubview(child));
    EXPECT_EQ(grandchild->superview(), child.get());
    child->setFrame(NSMakeRect(1, 2, 3, 4));
    EXPECT_EQ(root->Describe()["subviews"][0]["frame"], (nlohmann::json{1, 2, 3, 4}));

    child->removeFromSuperview();
    EXPECT_EQ(child->superview(), nullptr);
    EXPECT_TRUE(root->subviews().empty());
    EXPECT_EQ(rootChanges, 2);

    // A view that outlives its superview does not point at it.
    Ref<NSView> orphan = MakeRef<NSView>();
    {
        Ref<NSView> parent = MakeRef<NSView>();
        parent->addSubview(orphan);
    }
    EXPECT_EQ(orphan->superview(), nullptr);
}

} // namespace
