#include "appkit/NibLoader.h"

#include <fstream>

#include <gtest/gtest.h>

#include "ForkedChild.h"
#include "TempDir.h"
#include "appkit/NSApplication.h"
#include "appkit/NSButton.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "appkit/NibOutletTable.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

// An owner as the plug-in's controllers are: outlets in fields, actions and awakeFromNib as
// runtime methods.
class NibTestOwner : public NSObject {
public:
    NibTestOwner() : NSObject(ClassObject()) {}
    static Class ClassObject();

    Ref<NSMenu> menu;
    Ref<NSMenuItem> updateItem;
    int awakeCount = 0;
    bool outletsSetWhenAwoken = false;
    std::vector<std::string> actions;
};

void Awake(id self, SEL) {
    auto* owner = static_cast<NibTestOwner*>(self);
    ++owner->awakeCount;
    owner->outletsSetWhenAwoken =
        owner->menu && owner->updateItem && owner->updateItem->target() == owner;
}

void ShowList(id self, SEL, id sender) {
    static_cast<NibTestOwner*>(self)->actions.push_back(
        std::string("showList:").append(static_cast<NSMenuItem*>(sender)->title()));
}

void ShowUpdate(id self, SEL, id) {
    static_cast<NibTestOwner*>(self)->actions.emplace_back("showUpdate:");
}

void NotAnAction(id, SEL) {
}

Class NibTestOwner::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<NibTestOwner>("NibTestOwner", NSObject::RootClass());
        class_defineMethod(made, "awakeFromNib", &Awake);
        class_defineMethod(made, "showList:", &ShowList);
        class_defineMethod(made, "showUpdate:", &ShowUpdate);
        class_defineMethod(made, "notAnAction:", &NotAnAction);
        NibOutletTable::Declare(made, "menu", &NibTestOwner::menu);
        NibOutletTable::Declare(made, "updateItem", &NibTestOwner::updateItem);
        return made;
    }();
    return cls;
}

// A runtime subclass without outlets of its own: it answers for its superclass's.
Class SubOwnerClass() {
    static Class cls = objc_registerClass("NibTestSubOwner", NibTestOwner::ClassObject());
    return cls;
}

json MenuFile() {
    return json::parse(R"({
      "objects": [
        { "class": "NSMenu", "id": "menu", "frame": [0, 10, 160, 80],
          "properties": { "title": "SWFHarvex", "colour": "blue", "items": [
            { "class": "NSMenuItem", "id": "list",
              "properties": { "title": "Captured SWFs", "keyEquivalent": "l" } },
            "update",
            { "class": "NSMenuItem", "id": "more", "properties": { "title": "More",
              "enabled": false,
              "submenu": { "class": "NSMenu", "id": "sub", "properties": { "title": "Sub" } } } }
          ] } },
        { "class": "NSMenuItem", "id": "update", "properties": { "title": "Update" } }
      ],
      "outlets": { "menu": "menu", "updateItem": "update" },
      "actions": { "list": "showList:", "update": "showUpdate:" }
    })");
}

class NibLoaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& text, const std::string& name = "Menu.json") {
        std::ofstream(dir / name) << text;
        return dir / name;
    }
    std::string Write(const json& document) { return Write(document.dump()); }

    // Loads a broken file and answers the error's reason; the owner must stay untouched.
    std::string ReasonFor(const json& document) {
        std::string path = Write(document);
        Outcome<NibContents> result = loadNibFile(path, owner.get());
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(owner->awakeCount, 0);
        EXPECT_FALSE(owner->menu);
        return result.ok() ? std::string() : result.failure().why;
    }

    TempDir dir;
    Ref<NibTestOwner> owner = MakeRef<NibTestOwner>();
};

TEST_F(NibLoaderTest, BuildsTheTreeConnectsAndWakesTheOwnerOnce) {
    Outcome<NibContents> result = loadNibFile(Write(MenuFile()), owner.get());
    ASSERT_TRUE(result.ok()) << result.failure().message();

    ASSERT_TRUE(owner->menu);
    EXPECT_EQ(owner->menu->title(), "SWFHarvex");
    ASSERT_EQ(owner->menu->numberOfItems(), 3);
    EXPECT_EQ(owner->menu->itemAtIndex(1), owner->updateItem.get());
    NSMenuItem* more = owner->menu->itemAtIndex(2);
    EXPECT_FALSE(more->isEnabled());
    ASSERT_TRUE(more->hasSubmenu());
    EXPECT_EQ(more->submenu()->title(), "Sub");
    EXPECT_EQ(owner->awakeCount, 1);
    EXPECT_TRUE(owner->outletsSetWhenAwoken);

    // The frame and every property stay in the records; top-level objects in file order.
    ASSERT_EQ(result.value().topLevelObjects.size(), 2U);
    EXPECT_EQ(result.value().topLevelObjects[0].get(), owner->menu.get());
    ASSERT_EQ(result.value().objects.size(), 5U);
    EXPECT_EQ(result.value().objects[0].frame, NSMakeRect(0, 10, 160, 80));
    EXPECT_EQ(result.value().objects[0].properties["colour"], "blue");
    EXPECT_EQ(result.value().objects[1].frame, std::nullopt);
    EXPECT_EQ(result.value().objectWithId("sub"), more->submenu());

    // Clicks reach the owner's actions with the item as sender.
    EXPECT_TRUE(NSApp().performClick(*owner->menu->itemAtIndex(0)));
    EXPECT_TRUE(NSApp().performClick(*owner->updateItem));
    EXPECT_FALSE(NSApp().performClick(*more));
    EXPECT_EQ(owner->actions, (std::vector<std::string>{"showList:Captured SWFs", "showUpdate:"}));
}

TEST_F(NibLoaderTest, TheOwnersOutletsKeepTheObjectsAfterTheResultGoes) {
    {
        Outcome<NibContents> result = loadNibFile(Write(MenuFile()), owner.get());
        ASSERT_TRUE(result.ok());
    }
    ASSERT_TRUE(owner->menu);
    EXPECT_EQ(owner->menu->itemAtIndex(2)->submenu()->title(), "Sub");
}

TEST_F(NibLoaderTest, OutletsDeclaredByASuperclassServeItsSubclasses) {
    Ref<NSObject> sub = class_createInstance(SubOwnerClass());
    auto* subOwner = dynamic_cast<NibTestOwner*>(sub.get());
    ASSERT_NE(subOwner, nullptr);
    Outcome<NibContents> result = loadNibFile(Write(MenuFile()), sub.get());
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_TRUE(subOwner->menu);
    EXPECT_EQ(subOwner->awakeCount, 1);
}

TEST_F(NibLoaderTest, UnreadableFilesAreErrorsNamingTheFile) {
    std::string missing = dir / "Missing.json";
    Outcome<NibContents> result = loadNibFile(missing, owner.get());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().what, missing);
    EXPECT_EQ(result.failure().why, "no such file");
    EXPECT_EQ(result.failure().message(), missing + ": no such file");

    EXPECT_EQ(loadNibFile(dir.Path().string(), owner.get()).failure().why, "not a regular file");

    for (const char* text : {"", "{\"objects\": [", "not json"}) {
        result = loadNibFile(Write(std::string(text)), owner.get());
        ASSERT_FALSE(result.ok()) << text;
        EXPECT_EQ(result.failure().why.rfind("malformed JSON", 0), 0U) << result.failure().why;
    }
    EXPECT_EQ(owner->awakeCount, 0);
}

TEST_F(NibLoaderTest, BrokenObjectTreesAreErrors) {
    json file = MenuFile();
    file["objects"][1]["class"] = "NSNoSuchClass";
    EXPECT_EQ(ReasonFor(file), "object 'update': unknown class 'NSNoSuchClass'");

    EXPECT_EQ(ReasonFor(json{{"outlets", json::object()}}), "no \"objects\" array");
    EXPECT_EQ(ReasonFor(json{{"objects", {{{"class", "NSMenu"}}}}}),
              "an object description lacks a \"class\" or an \"id\" string");

    file = MenuFile();
    file["objects"][1]["id"] = "menu";
    EXPECT_EQ(ReasonFor(file), "object 'menu': the id is used twice");

    file = MenuFile();
    file["objects"][0]["frame"] = {1, 2, 3};
    EXPECT_EQ(ReasonFor(file), "object 'menu': \"frame\" is not [x, y, width, height]");

    file = MenuFile();
    file["objects"][1]["properties"]["enabled"] = "yes";
    EXPECT_EQ(ReasonFor(file),
              "object 'update' (NSMenuItem): property 'enabled' has the wrong type");

    file = MenuFile();
    file["objects"][0]["properties"]["items"].push_back("nowhere");
    EXPECT_EQ(ReasonFor(file), "object 'menu' (NSMenu): an entry of 'items' is not a menu item");

    file = MenuFile();
    file["objects"][0]["properties"]["items"].push_back("update"); // the same item twice
    EXPECT_NE(ReasonFor(file).find("in two menus"), std::string::npos);

    // Nesting a hundred levels deep is refused instead of exhausting the stack.
    json deep = {{"class", "NSMenu"}, {"id", "leaf"}};
    for (int i = 0; i < 100; ++i) {
        deep = {{"class", "NSMenu"}, {"id", std::to_string(i)}, {"properties", {{"x", deep}}}};
    }
    EXPECT_EQ(ReasonFor(json{{"objects", {deep}}}), "objects nested too deeply");
}

// Copying or reading back a value nested this deep would recurse past the stack's end; in a
// child, so that a crash fails the case instead of ending the run.
TEST_F(NibLoaderTest, ValuesNestedTooDeeplyAreRefusedWhole) {
    const size_t levels = 200000;
    const std::string path =
        Write(R"({"objects": [{"class": "NSMenu", "id": "m", "properties": {"x": )" +
              std::string(levels, '[') + std::string(levels, ']') + "}}]}");
    const int status = RunInChild([&] {
        Outcome<NibContents> result = loadNibFile(path, owner.get());
        return !result.ok() && result.failure().why == "values nested deeper than 512 levels" &&
                       !owner->menu
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0) << "-1: the load crashed";
}

TEST_F(NibLoaderTest, OutletsAndActionsTheOwnerCannotTakeAreErrors) {
    json file = MenuFile();
    file["outlets"]["window"] = "menu";
    EXPECT_EQ(ReasonFor(file),
              "outlet 'window': the owner's class NibTestOwner declares no such outlet");

    file = MenuFile();
    file["outlets"]["menu"] = "list"; // a menu item in a menu outlet
    EXPECT_EQ(ReasonFor(file), "outlet 'menu': object 'list' (NSMenuItem) does not fit it");

    file = MenuFile();
    file["outlets"]["menu"] = "ghost";
    EXPECT_EQ(ReasonFor(file), "outlet 'menu': no object 'ghost'");

    file = MenuFile();
    file["actions"]["list"] = "showNothing:";
    EXPECT_EQ(ReasonFor(file), "action of 'list': the owner's class NibTestOwner does not "
                               "implement showNothing:");

    file = MenuFile();
    file["actions"]["list"] = "notAnAction:";
    EXPECT_EQ(ReasonFor(file), "action of 'list': notAnAction: takes 'v@:', not a sender");

    file = MenuFile();
    file["actions"]["menu"] = "showList:";
    EXPECT_EQ(ReasonFor(file), "action of 'menu': a NSMenu sends no actions");

    // Nothing was connected by the failed loads.
    file = MenuFile();
    file["actions"]["list"] = "showNothing:";
    Outcome<NibContents> result = loadNibFile(Write(file), owner.get());
    EXPECT_FALSE(owner->updateItem);
    EXPECT_EQ(owner->awakeCount, 0);

    // Without an owner, a file without connections still loads.
    json plain = MenuFile();
    plain.erase("outlets");
    plain.erase("actions");
    result = loadNibFile(Write(plain), nullptr);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_EQ(result.value().topLevelObjects.size(), 2U);
    EXPECT_EQ(loadNibFile(Write(MenuFile()), nullptr).failure().why,
              "outlet 'menu': there is no owner");
}

TEST_F(NibLoaderTest, OtherRuntimeClassesAreMadeAndWoken) {
    static int awoken = 0;
    static Class cls = [] {
        Class made = objc_registerClass("NibTestWidget", NSObject::RootClass());
        class_defineMethod(
            made, "awakeFromNib", +[](id, SEL) { ++awoken; });
        return made;
    }();
    NSString::ClassObject();
    json file = {{"objects",
                  {{{"class", "NibTestWidget"}, {"id", "w"}, {"properties", {{"size", 3}}}},
                   {{"class", "NSString"}, {"id", "s"}}}}};
    Outcome<NibContents> result = loadNibFile(Write(file), nullptr);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_EQ(object_getClass(result.value().objectWithId("w")), cls);
    EXPECT_NE(dynamic_cast<NSString*>(result.value().objectWithId("s")), nullptr);
    EXPECT_EQ(result.value().objects[0].properties["size"], 3);
    EXPECT_EQ(awoken, 1);
}

} // namespace

// Each test runs in a process of its own, so nothing else has registered the control decoders
// here: the loader must know them by itself.
TEST_F(NibLoaderTest, ControlPropertiesApplyWithoutAWindowController) {
    Outcome<NibContents> result = loadNibFile(
        Write(std::string(
            R"({"objects": [{"class": "NSButton", "id": "b", "properties": {"title": "Save"}}]})")),
        nullptr);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    auto* button = dynamic_cast<NSButton*>(result.value().topLevelObjects.at(0).get());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->title(), "Save");
}
