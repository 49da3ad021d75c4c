#include <gtest/gtest.h>

#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "runtime/Runtime.h"

namespace {

Ref<NSMenuItem> Item(const std::string& title) {
    return NSMenuItem::initWithTitle(title, nullptr, "");
}

Ref<NSMenu> MenuWith(std::initializer_list<const char*> titles) {
    Ref<NSMenu> menu = MakeRef<NSMenu>("Bar");
    for (const char* title : titles) {
        menu->addItem(Item(title));
    }
    return menu;
}

std::vector<std::string> Titles(const NSMenu& menu) {
    std::vector<std::string> titles;
    for (const Ref<NSMenuItem>& item : menu.itemArray()) {
        titles.push_back(item->title());
    }
    return titles;
}

TEST(MenuTest, InsertingInFrontOfTheLastMenuAndRemoving) {
    Ref<NSMenu> bar = MenuWith({"File", "Edit", "Help"});
    ASSERT_TRUE(bar->insertItem(Item("SWFHarvex"), bar->numberOfItems() - 1));
    EXPECT_EQ(Titles(*bar), (std::vector<std::string>{"File", "Edit", "SWFHarvex", "Help"}));
    EXPECT_EQ(bar->indexOfItemWithTitle("SWFHarvex"), 2);
    EXPECT_EQ(bar->indexOfItemWithTitle("Window"), -1);
    EXPECT_EQ(bar->itemAtIndex(2)->menu(), bar.get());
    EXPECT_EQ(bar->itemAtIndex(4), nullptr);
    EXPECT_EQ(bar->itemAtIndex(-1), nullptr);

    Ref<NSMenuItem> edit(bar->itemAtIndex(1));
    EXPECT_TRUE(bar->removeItemAtIndex(1));
    EXPECT_EQ(edit->menu(), nullptr);
    EXPECT_EQ(Titles(*bar), (std::vector<std::string>{"File", "SWFHarvex", "Help"}));
    EXPECT_FALSE(bar->removeItemAtIndex(3));
}

TEST(MenuTest, RefusesInsertionsThatWouldBreakTheTree) {
    Ref<NSMenu> bar = MenuWith({"File"});
    EXPECT_FALSE(bar->insertItem(Item("Late"), 2)); // past the end
    EXPECT_FALSE(bar->insertItem(Item("Early"), -1));
    EXPECT_FALSE(bar->insertItem(nullptr, 0));
    // An item sits in one menu only, including the same one twice.
    Ref<NSMenuItem> file(bar->itemAtIndex(0));
    EXPECT_FALSE(bar->addItem(file));
    EXPECT_FALSE(MenuWith({})->addItem(file));
    EXPECT_EQ(bar->numberOfItems(), 1);

    // Cycles: a menu cannot be its own submenu, directly or further down.
    Ref<NSMenu> sub = MakeRef<NSMenu>("Sub");
    ASSERT_TRUE(file->setSubmenu(sub));
    EXPECT_EQ(sub->supermenu(), bar.get());
    Ref<NSMenuItem> deeper = Item("Deeper");
    ASSERT_TRUE(sub->addItem(deeper));
    EXPECT_FALSE(deeper->setSubmenu(bar));
    EXPECT_FALSE(deeper->setSubmenu(sub));
    Ref<NSMenuItem> loop = Item("Loop");
    ASSERT_TRUE(loop->setSubmenu(bar));
    EXPECT_FALSE(sub->addItem(loop));
    // A menu is the submenu of one item only.
    EXPECT_FALSE(Item("Other")->setSubmenu(sub));
    EXPECT_EQ(bar->Describe()["items"][0]["submenu"]["items"].size(), 1U);
}

TEST(MenuTest, BackReferencesDoNotOutliveTheirObjects) {
    Ref<NSMenuItem> kept = Item("Kept");
    Ref<NSMenu> sub = MakeRef<NSMenu>("Sub");
    {
        Ref<NSMenu> menu = MenuWith({});
        menu->addItem(kept);
        Ref<NSMenuItem> holder = Item("Holder");
        holder->setSubmenu(sub);
        menu->addItem(holder);
        EXPECT_EQ(sub->supermenu(), menu.get());
    }
    EXPECT_EQ(kept->menu(), nullptr);
    EXPECT_EQ(sub->supermenu(), nullptr);
    kept->setTitle("Still fine"); // must not reach the dead menu
    EXPECT_TRUE(MenuWith({})->addItem(kept));
}

TEST(MenuTest, DescribesItselfAsJSON) {
    Ref<NSMenu> menu = MakeRef<NSMenu>("SWFHarvex");
    Ref<NSMenuItem> list = NSMenuItem::initWithTitle("List", sel_registerName("showList:"), "l");
    Ref<NSObject> target = MakeRef<NSObject>();
    list->setTarget(target.get());
    menu->addItem(list);
    Ref<NSMenuItem> more = Item("More");
    more->setEnabled(false);
    more->setSubmenu(MakeRef<NSMenu>("Submenu"));
    menu->addItem(more);

    // Each object carries its id, by which a presenter names it in an event.
    nlohmann::json expected = {
        {"class", "NSMenu"},
        {"oid", menu->objectId()},
        {"title", "SWFHarvex"},
        {"items",
         {{{"class", "NSMenuItem"},
           {"oid", list->objectId()},
           {"title", "List"},
           {"keyEquivalent", "l"},
           {"enabled", true},
           {"action", "showList:"},
           {"target", "NSObject"},
           {"submenu", nullptr}},
          {{"class", "NSMenuItem"},
           {"oid", more->objectId()},
           {"title", "More"},
           {"keyEquivalent", ""},
           {"enabled", false},
           {"action", nullptr},
           {"target", nullptr},
           {"submenu",
            {{"class", "NSMenu"},
             {"oid", more->submenu()->objectId()},
             {"title", "Submenu"},
             {"items", nlohmann::json::array()}}}}}},
    };
    EXPECT_EQ(menu->Describe(), expected);
}

TEST(MenuTest, ObserversHearChangesFromAnywhereBelow) {
    Ref<NSMenu> bar = MenuWith({"File"});
    Ref<NSMenu> sub = MakeRef<NSMenu>("Sub");
    Ref<NSMenuItem> file(bar->itemAtIndex(0));
    int barChanges = 0;
    int itemChanges = 0;
    bar->AddObserver([&] { ++barChanges; });
    ModelObject::ObserverToken token = file->AddObserver([&] { ++itemChanges; });

    file->setSubmenu(sub);                  // 1
    sub->addItem(Item("Deep"));             // 2: through the item holding the submenu
    sub->itemAtIndex(0)->setEnabled(false); // 3
    file->setTitle("File");                 // no change, no news
    file->setTitle("Files");                // 4
    bar->addItem(Item("Help"));             // 5
    bar->removeItemAtIndex(1);              // 6
    EXPECT_EQ(barChanges, 6);
    EXPECT_EQ(itemChanges, 4);

    EXPECT_TRUE(file->RemoveObserver(token));
    EXPECT_FALSE(file->RemoveObserver(token));
    file->setKeyEquivalent("f");
    EXPECT_EQ(itemChanges, 4);
    EXPECT_EQ(barChanges, 7);
}

TEST(MenuTest, ObserversMayChangeTheListOrDropTheObjectWhileBeingTold) {
    Ref<NSMenu> menu = MakeRef<NSMenu>("Menu");
    NSMenu* raw = menu.get();
    std::vector<std::string> calls;
    ModelObject::ObserverToken second = 0;
    raw->AddObserver([&] {
        calls.push_back("first");
        raw->RemoveObserver(second); // removed during the round: not called
        menu.reset();                // the last outside reference goes
    });
    second = raw->AddObserver([&] { calls.push_back("second"); });
    raw->setTitle("Changed");
    EXPECT_EQ(calls, std::vector<std::string>{"first"});
    EXPECT_FALSE(menu);
}

TEST(MenuTest, ClassesAreVisibleToTheRuntime) {
    Ref<NSMenu> menu = MakeRef<NSMenu>();
    EXPECT_EQ(NSClassFromString("NSMenu"), object_getClass(menu.get()));
    Ref<NSObject> item = class_createInstance(NSClassFromString("NSMenuItem"));
    ASSERT_NE(dynamic_cast<NSMenuItem*>(item.get()), nullptr);
    EXPECT_TRUE(dynamic_cast<NSMenuItem*>(item.get())->isEnabled());
}

} // namespace
