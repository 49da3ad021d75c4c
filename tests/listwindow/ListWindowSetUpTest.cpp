#include <filesystem>

#include <unistd.h>

#include "ListWindowHarness.h"
#include "ReadWholeFile.h"
#include "capture/CaptureRecords.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSNotification.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/NSString.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

const std::string kTrustFolder =
    "/Library/Preferences/Macromedia/Flash Player/#Security/FlashPlayerTrust/";

std::string LocalString(NSBundle& bundle, const std::string& key) {
    return bundle.localizedStringForKey(key, "", "LocalStrings");
}

// Records the notifications it is sent.
class Listener : public NSObject {
public:
    Listener() : NSObject(ClassObject()) {}
    static Class ClassObject() {
        static Class cls = [] {
            Class made = objc_registerClass("LWTestListener", NSObject::RootClass());
            class_defineMethod(made, "heard:", &Heard);
            return made;
        }();
        return cls;
    }
    std::vector<id> objects;

private:
    static void Heard(id self, SEL /*cmd*/, id note) {
        static_cast<Listener*>(self)->objects.push_back(
            dynamic_cast<NSNotification*>(note)->object());
    }
};

class ListWindowSetUpTest : public ListWindowHarness {};

TEST_F(ListWindowSetUpTest, WithoutTheCompanionTheOpenButtonOffersItAndNothingCollapses) {
    HVXSWFListWindowController& controller = OpenWindow();
    NSBundle& bundle = *controller.thisBundle;
    EXPECT_EQ(bundle.bundlePath(), bundlePath);
    EXPECT_EQ(controller.btnOpenSWF->title(),
              LocalString(bundle, "Main : OpenBtnTitle No Dissecta"));
    EXPECT_EQ(controller.btnOpenSWF->toolTip(),
              LocalString(bundle, "Main : OpenBtnToolTip No Dissecta"));
    EXPECT_FALSE(controller.canCollase);
    EXPECT_EQ(controller.btnReload->toolTip(), LocalString(bundle, "Main : reloadBtnToolTip"));
    // Nothing caught: nothing to save, but the open button leads to the companion.
    EXPECT_TRUE(controller.btnOpenSWF->isEnabled());
    EXPECT_FALSE(controller.btnSaveSWF->isEnabled());
}

TEST_F(ListWindowSetUpTest, WithTheCompanionTheOpenButtonOpensAndTheCaptionsAreGrey) {
    InstallDissecta();
    HVXSWFListWindowController& controller = OpenWindow();
    NSBundle& bundle = *controller.thisBundle;
    EXPECT_EQ(controller.btnOpenSWF->title(), LocalString(bundle, "Main : OpenBtnTitle"));
    EXPECT_EQ(controller.btnOpenSWF->toolTip(), LocalString(bundle, "Main : OpenBtnToolTip"));
    EXPECT_TRUE(controller.canCollase);
    EXPECT_FALSE(controller.btnOpenSWF->isEnabled());
    EXPECT_FALSE(controller.btnSaveSWF->isEnabled());
    EXPECT_EQ(controller.lastTopViewHeight, 0);
    EXPECT_EQ(controller.lastEndViewHeight, 0);
    Ref<NSColor> grey = NSColor::colorWithCalibratedRed(78 / 255.0F, 78 / 255.0F, 78 / 255.0F, 1);
    for (NSTextField* caption : {controller.tx_filename.get(), controller.tx_moviesize.get(),
                                 controller.tx_fileversion.get(), controller.tx_framesize.get(),
                                 controller.tx_framerate.get(), controller.tx_framecount.get()}) {
        ASSERT_NE(caption, nullptr);
        EXPECT_TRUE(caption->textColor()->isEqual(*grey)) << caption->stringValue();
    }
}

TEST_F(ListWindowSetUpTest, ThePagesLoadFromTheBundleEscapedAndThePollStarts) {
    HVXSWFListWindowController& controller = OpenWindow();
    // The bundle lies in "Plug ins é": spaces and each byte of the accented letter are escaped.
    const std::string resources =
        home.Path().string() + "/Plug%20ins%20%c3%a9/SWFHarvex.bundle/Resources/";
    EXPECT_EQ(PageOf(controller.swfWebview.get()).loads(),
              std::vector<std::string>{resources + "SWFBrowser.html"});
    EXPECT_EQ(PageOf(controller.adWebview.get()).loads(),
              std::vector<std::string>{resources + "AdBrowser.html"});
    ASSERT_TRUE(controller.timer);
    EXPECT_DOUBLE_EQ(controller.timer->timeInterval(), 0.2);
    EXPECT_EQ(controller.window()->delegate(), &controller);
    EXPECT_EQ(controller.splitView->delegate(), &controller);
}

TEST_F(ListWindowSetUpTest, TheTrustFilesNameTheResourceAndCaptureFoldersExactly) {
    OpenWindow();
    const std::string trust = home.Path().string() + kTrustFolder;
    EXPECT_EQ(ReadWholeFile(trust + "SWFHarvexTrustFiles.cfg"), bundlePath + "/Resources");
    EXPECT_EQ(ReadWholeFile(trust + "SWFHarvexSaveTrustFiles.cfg"),
              home.Path().string() + "/Documents/SWFHarvexData");
}

TEST_F(ListWindowSetUpTest, WithoutAHomeFolderNoTrustFileIsWrittenAnywhere) {
    TempDir workingFolder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(workingFolder.Path());
    unsetenv("HOME");
    HVXSWFListWindowController& controller = OpenWindow();
    std::filesystem::current_path(previous);
    EXPECT_NE(controller.window(), nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(workingFolder.Path()));
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "Library"));
}

TEST_F(ListWindowSetUpTest, TheComboBoxListsTheFourMostRecentFoldersOldestFirst) {
    StoreSettings({{PreferenceKeys::kSavePathArray, {"/f1", "/f2", "/f3", "/f4", "/f5", "/f6"}},
                   {PreferenceKeys::kSaveComboxPath, "/last"},
                   {PreferenceKeys::kSavePrefePath, "/default"}},
                  std::nullopt);
    HVXSWFListWindowController& controller = OpenWindow();
    EXPECT_EQ(controller.combox->items(), (std::vector<std::string>{"/f4", "/f3", "/f2", "/f1"}));
    EXPECT_EQ(controller.m_lastSavePathArray.size(), 6U);
    EXPECT_EQ(controller.combox->stringValue(), "/last"); // index 0: the folder last used
    EXPECT_EQ(controller.savePrefePath, "/default");

    controller.combox->setStringValue("/typed");
    controller.saveUsrDefault();
    PreferenceData::ResetForTesting();
    PreferenceData& reread = *PreferenceData::sharedPreferenceData();
    EXPECT_EQ(reread.GetPreferenceItem(PreferenceKeys::kSavePathArray, 1),
              json({"/f1", "/f2", "/f3", "/f4"}));
    EXPECT_EQ(reread.GetPreferenceItem(PreferenceKeys::kSaveComboxPath, 0), json("/typed"));
}

TEST_F(ListWindowSetUpTest, TheDefaultFolderChoiceStartsFromTheDefaultFolder) {
    StoreSettings(
        {{PreferenceKeys::kSaveComboxPath, "/last"}, {PreferenceKeys::kSavePrefePath, "/default"}},
        1);
    HVXSWFListWindowController& controller = OpenWindow();
    EXPECT_EQ(controller.saveMatrixIndex, 1);
    EXPECT_EQ(controller.combox->stringValue(), "/default");
}

TEST_F(ListWindowSetUpTest, AnEmptyOrMalformedHistoryLeavesTheListAsItWas) {
    StoreSettings(
        {{PreferenceKeys::kSavePathArray, json::array()}, {PreferenceKeys::kSaveComboxPath, 42}},
        std::nullopt);
    HVXSWFListWindowController& controller = OpenWindow();
    controller.combox->addItemWithObjectValue("/from the interface");
    controller.loadUsrDefault();
    EXPECT_EQ(controller.combox->items(), std::vector<std::string>{"/from the interface"});
    // A number is not a folder: the store's default stands in.
    EXPECT_EQ(controller.combox->stringValue(), home.Path().string() + "/Desktop");
}

TEST_F(ListWindowSetUpTest, ClosingPostsOnClickListWithTheController) {
    HVXSWFListWindowController& controller = OpenWindow();
    Ref<Listener> listener = MakeRef<Listener>();
    NSNotificationCenter::defaultCenter().addObserver(listener.get(), sel_registerName("heard:"),
                                                      "OnClickList", nullptr);
    controller.window()->performClose(nullptr);
    NSNotificationCenter::defaultCenter().removeObserver(listener.get());
    EXPECT_EQ(listener->objects, std::vector<id>{&controller});
    EXPECT_FALSE(controller.window()->isVisible());
}

// Held here, so that what reaches it shows (and nothing reaches freed memory), with its page
// ready for the poll.
TEST_F(ListWindowSetUpTest, AReleasedControllerHearsNoMoreSelectionsOrTicks) {
    Catch("a.swf", Movie(24, 1));
    Ref<HVXSWFListWindowController> released(&OpenWindow());
    NewPageCalls(*released);
    const std::string shownName = released->filename->stringValue();
    HVXSWFListWindowController::ReleaseSWFListWindowController();
    ASSERT_TRUE(PageOf(released->swfWebview.get()).SetProperty("cocoaApp", "bSWFReady", true));
    NSNotificationCenter::defaultCenter().postNotificationName(
        "SelectedSWFNum", NSString::stringWithString("0").get());
    RunLoop::Main().RunFor(std::chrono::milliseconds(450));
    EXPECT_EQ(released->filename->stringValue(), shownName) << "a selection reached it";
    EXPECT_TRUE(NewPageCalls(*released).empty()) << "the poll reached it";
}

} // namespace

namespace {

bool Overlap(const NSRect& a, const NSRect& b) {
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

} // namespace

// A presenter draws the frames as they are: no control of the top pane may hide another.
TEST_F(ListWindowSetUpTest, NoControlOfTheTopPaneLiesUnderAnother) {
    HVXSWFListWindowController& controller = OpenWindow();
    ASSERT_TRUE(controller.btnReload && controller.btnReload->superview() != nullptr);
    const std::vector<Ref<NSView>>& views = controller.btnReload->superview()->subviews();
    ASSERT_GT(views.size(), 10U);
    for (size_t i = 0; i < views.size(); ++i) {
        for (size_t j = i + 1; j < views.size(); ++j) {
            EXPECT_FALSE(Overlap(views[i]->frame(), views[j]->frame()))
                << views[i]->Describe().dump() << "\n"
                << views[j]->Describe().dump();
        }
    }
}
