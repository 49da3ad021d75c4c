#include <string>
#include <vector>

#include "PlugInWindowHarness.h"
#include "appkit/NSWindowController.h"
#include "foundation/Log.h"
#include "host/HVXMenuController.h"
#include "prefs/HVXAboutWindowController.h"
#include "prefs/HVXPreferenceWindowController.h"
#include "runtime/MessageSend.h"

namespace {

class MenuWindowsTest : public PlugInWindowHarness {
protected:
    // A menu controller of the test's own: the process's single one outlives the test's bundle.
    Ref<HVXMenuController> menu = MakeRef<HVXMenuController>();
};

struct Command {
    const char* selector;
    Ref<NSObject> HVXMenuController::*kept;
    const char* interfaceFile;
    const char* title;
    bool (*isItsController)(NSObject*);
    const char* missingFileLine;
};
const std::vector<Command> kCommands{
    {"showPreferencesWindow:", &HVXMenuController::sharedPreferenceWindowController,
     "SafariHarvexPreferences.nib", "Preferences",
     [](NSObject* kept) { return dynamic_cast<HVXPreferenceWindowController*>(kept) != nullptr; },
     "HVXMenuController: no interface file for the Preferences window"},
    {"showAboutWindow:", &HVXMenuController::sharedAboutWindowController, "SafariHarvexAbout.nib",
     "About SWFHarvex",
     [](NSObject* kept) { return dynamic_cast<HVXAboutWindowController*>(kept) != nullptr; },
     "HVXMenuController: no interface file for the About window"},
};

TEST_F(MenuWindowsTest, EachCommandMakesItsControllerOnceAndShowsItsWindowEveryTime) {
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.selector);
        objc_msgSend(menu.get(), command.selector, static_cast<id>(nullptr));
        NSObject* first = ((*menu).*command.kept).get();
        ASSERT_TRUE(command.isItsController(first));
        NSWindow* window = dynamic_cast<NSWindowController*>(first)->window();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->title(), command.title);
        EXPECT_TRUE(window->isVisible());

        window->performClose(nullptr);
        ASSERT_FALSE(window->isVisible());
        objc_msgSend(menu.get(), command.selector, static_cast<id>(nullptr));
        EXPECT_EQ(((*menu).*command.kept).get(), first);
        EXPECT_TRUE(window->isVisible());
    }
}

bool Overlap(const NSRect& a, const NSRect& b) {
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

bool Inside(const NSRect& inner, const NSRect& outer) {
    return inner.origin.x >= 0 && inner.origin.y >= 0 &&
           inner.origin.x + inner.size.width <= outer.size.width &&
           inner.origin.y + inner.size.height <= outer.size.height;
}

// A presenter draws the frames as they are: every control lies inside the window, under no other.
TEST_F(MenuWindowsTest, NoControlLiesUnderAnotherOrOutsideItsWindow) {
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.selector);
        objc_msgSend(menu.get(), command.selector, static_cast<id>(nullptr));
        auto* controller = dynamic_cast<NSWindowController*>(((*menu).*command.kept).get());
        ASSERT_NE(controller, nullptr);
        const NSView& content = *controller->window()->contentView();
        const std::vector<Ref<NSView>>& views = content.subviews();
        ASSERT_GE(views.size(), 5U);
        for (size_t i = 0; i < views.size(); ++i) {
            EXPECT_TRUE(Inside(views[i]->frame(), content.frame())) << views[i]->Describe().dump();
            for (size_t j = i + 1; j < views.size(); ++j) {
                EXPECT_FALSE(Overlap(views[i]->frame(), views[j]->frame()))
                    << views[i]->Describe().dump() << "\n"
                    << views[j]->Describe().dump();
            }
        }
    }
}

TEST_F(MenuWindowsTest, WithoutTheInterfaceFileACommandShowsNothingAndSaysSo) {
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.selector);
        RemoveResource(command.interfaceFile);
        LogCapture log;
        for (int press = 0; press < 2; ++press) {
            objc_msgSend(menu.get(), command.selector, static_cast<id>(nullptr));
            EXPECT_FALSE((*menu).*command.kept);
        }
        EXPECT_EQ(log.Lines(), std::vector<std::string>(2, command.missingFileLine));
    }
}

TEST_F(MenuWindowsTest, AnUpdatePageThatCannotBeOpenedIsLoggedWithItsAddressAndReason) {
    workspace->setResult(false);
    LogCapture log;
    objc_msgSend(menu.get(), "showUpdate:", static_cast<id>(nullptr));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "HVXMenuController: not opened: "
                               "https://swfharvex.example/dissecta/download: refused by the test"});
}

} // namespace
