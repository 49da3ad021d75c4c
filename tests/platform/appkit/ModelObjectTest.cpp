#include <vector>

#include <gtest/gtest.h>

#include "appkit/NSButton.h"
#include "appkit/NSColor.h"
#include "appkit/NSWindow.h"

namespace {

// A presenter names objects by id: the id must find the object while it lives and nothing after,
// and one listener must hear every change without observing each object.
TEST(ModelObjectTest, IdsFindLivingObjectsAndOneListenerHearsEveryChange) {
    std::vector<ModelObject::ObjectId> changed;
    ModelObject::SetChangeListener(
        [&](ModelObject& object) { changed.push_back(object.objectId()); });

    Ref<NSWindow> window = MakeRef<NSWindow>();
    Ref<NSButton> button = MakeRef<NSButton>();
    window->contentView()->addSubview(button);
    const ModelObject::ObjectId buttonId = button->objectId();
    EXPECT_NE(buttonId, window->objectId());
    EXPECT_EQ(ModelObject::WithId(buttonId), button.get());
    EXPECT_EQ(window->Describe()["contentView"]["subviews"][0]["oid"], buttonId);
    // Values are described by what they hold.
    EXPECT_FALSE(NSColor::grayColor()->Describe().contains("oid"));

    changed.clear();
    button->setTitle("Save");
    EXPECT_EQ(changed.front(), buttonId);

    ModelObject::SetChangeListener(nullptr);
    window = nullptr;
    button = nullptr;
    EXPECT_EQ(ModelObject::WithId(buttonId), nullptr);
}

} // namespace
