#include <chrono>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "appkit/NSAlert.h"
#include "appkit/NSApplication.h"
#include "appkit/NSImage.h"
#include "appkit/NSWindow.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// What reached a delegate's end method, and whether the delegate was still alive then.
struct EndSeen {
    std::string method;
    id sheet;
    int64_t returnCode;
    int64_t contextInfo;
    bool delegateAlive = true;

    bool operator==(const EndSeen&) const = default;
};

std::vector<EndSeen>& Ends() {
    static std::vector<EndSeen> ends;
    return ends;
}

std::set<id>& LiveDelegates() {
    static std::set<id> live;
    return live;
}

// A modal delegate with three end methods whose names differ only in capitalisation, and one
// whose signature is not a sheet's end.
class SheetDelegate : public NSObject {
public:
    SheetDelegate() : NSObject(ClassObject()) { LiveDelegates().insert(this); }
    static Class ClassObject();

protected:
    ~SheetDelegate() override { LiveDelegates().erase(this); }
};

void Record(const char* method, id self, id sheet, int64_t returnCode, int64_t contextInfo) {
    Ends().push_back({method, sheet, returnCode, contextInfo, LiveDelegates().contains(self)});
}

void Lower(id self, SEL, id sheet, int64_t returnCode, int64_t contextInfo) {
    Record("lower", self, sheet, returnCode, contextInfo);
}

void Upper(id self, SEL, id sheet, int64_t returnCode, int64_t contextInfo) {
    Record("upper", self, sheet, returnCode, contextInfo);
}

void Mixed(id self, SEL, id sheet, int64_t returnCode, int64_t contextInfo) {
    Record("mixed", self, sheet, returnCode, contextInfo);
}

void Narrow(id self, SEL, id sheet, int32_t returnCode) {
    Record("narrow", self, sheet, returnCode, 0);
}

Class SheetDelegate::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<SheetDelegate>("SheetDelegate", NSObject::RootClass());
        class_defineMethod(made, "alertDidEnd:returnCode:contextInfo:", &Lower);
        class_defineMethod(made, "AlertDidEnd:ReturnCode:ContextInfo:", &Upper);
        class_defineMethod(made, "alertDidEnd:ReturnCode:contextInfo:", &Mixed);
        class_defineMethod(made, "narrowDidEnd:returnCode:contextInfo:", &Narrow);
        return made;
    }();
    return cls;
}

const SEL kLowerEnd = sel_registerName("alertDidEnd:returnCode:contextInfo:");

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        Drain();
        Ends().clear();
    }

    // Runs the main run loop until everything posted so far has run.
    static void Drain() {
        bool reached = false;
        RunLoop::Main().Post([&reached] { reached = true; });
        ASSERT_TRUE(
            RunLoop::Main().RunUntil([&reached] { return reached; }, std::chrono::seconds(5)));
    }

    static Ref<NSAlert> Alert(const std::vector<std::string>& buttons) {
        Ref<NSAlert> alert = MakeRef<NSAlert>();
        for (const std::string& title : buttons) {
            alert->addButtonWithTitle(title);
        }
        return alert;
    }

    Ref<NSWindow> window = MakeRef<NSWindow>("Captured SWFs");
    Ref<SheetDelegate> delegate = MakeRef<SheetDelegate>();
};

TEST_F(SheetTest, AClickDetachesAtOnceAndTheDelegateHearsThroughTheRunLoop) {
    Ref<NSAlert> alert = Alert({"Delete", "Cancel", "Keep"});
    int windowChanges = 0;
    window->AddObserver([&windowChanges] { ++windowChanges; });
    alert->beginSheetModalForWindow(window.get(), delegate.get(), kLowerEnd, 77);
    ASSERT_EQ(window->attachedSheet(), alert.get());
    EXPECT_EQ(alert->window(), window.get());

    EXPECT_FALSE(alert->clickButtonAtIndex(3));
    uint64_t eventsBefore = NSApp().currentEvent() ? NSApp().currentEvent()->eventNumber : 0;
    EXPECT_TRUE(alert->clickButtonAtIndex(1));
    EXPECT_EQ(NSApp().currentEvent()->eventNumber, eventsBefore + 1);
    EXPECT_TRUE(window->sheets().empty());
    EXPECT_EQ(alert->window(), nullptr);
    EXPECT_EQ(windowChanges, 2);
    EXPECT_TRUE(Ends().empty()) << "the end must wait for the run loop";

    // The answer is given once.
    EXPECT_FALSE(alert->clickButtonAtIndex(0));
    EXPECT_FALSE(alert->endSheet(NSAlert::NSAlertFirstButtonReturn));
    Drain();
    EXPECT_EQ(Ends(), (std::vector<EndSeen>{{"lower", alert.get(), 1001, 77}}));
}

TEST_F(SheetTest, SelectorsThatDifferOnlyInCaseReachTheirOwnMethods) {
    const std::vector<std::pair<std::string, std::string>> table{
        {"alertDidEnd:returnCode:contextInfo:", "lower"},
        {"AlertDidEnd:ReturnCode:ContextInfo:", "upper"},
        {"alertDidEnd:ReturnCode:contextInfo:", "mixed"},
    };
    std::vector<EndSeen> expected;
    for (size_t i = 0; i < table.size(); ++i) {
        Ref<NSAlert> alert = Alert({"OK"});
        alert->beginSheetModalForWindow(window.get(), delegate.get(),
                                        sel_registerName(table[i].first), static_cast<int64_t>(i));
        EXPECT_TRUE(alert->clickButtonAtIndex(0));
        expected.push_back({table[i].second, alert.get(), 1000, static_cast<int64_t>(i)});
    }
    Drain();
    EXPECT_EQ(Ends(), expected);
}

TEST_F(SheetTest, AnEndTheDelegateCannotTakeIsLoggedAndDropped) {
    for (const char* selector :
         {"sheetDidEnd:returnCode:contextInfo:", "narrowDidEnd:returnCode:contextInfo:"}) {
        LogCapture log;
        Ref<NSAlert> alert = Alert({"OK"});
        alert->beginSheetModalForWindow(window.get(), delegate.get(), sel_registerName(selector),
                                        0);
        EXPECT_TRUE(alert->clickButtonAtIndex(0));
        EXPECT_NO_THROW(Drain());
        ASSERT_EQ(log.Lines().size(), 1U) << selector;
        EXPECT_NE(log.Lines()[0].find(selector), std::string::npos) << log.Lines()[0];
        EXPECT_TRUE(window->sheets().empty());
    }
    EXPECT_TRUE(Ends().empty());
}

TEST_F(SheetTest, ADelegateEveryoneElseReleasedStillGetsItsEndAndIsThenFreed) {
    id sheet = nullptr;
    {
        Ref<NSAlert> alert = Alert({"OK", "Cancel"});
        sheet = alert.get();
        alert->beginSheetModalForWindow(window.get(), delegate.get(), kLowerEnd, 5);
    }
    id gone = delegate.get();
    delegate.reset();
    EXPECT_TRUE(static_cast<NSAlert*>(window->attachedSheet())->clickButtonAtIndex(1));
    window.reset(); // the window held the last reference to the alert
    Drain();
    EXPECT_EQ(Ends(), (std::vector<EndSeen>{{"lower", sheet, 1001, 5, true}}));
    EXPECT_FALSE(LiveDelegates().contains(gone));
}

TEST_F(SheetTest, AnAlertShownWithoutButtonsGetsOKAndDescribesItselfOnItsWindow) {
    TempDir folder;
    Ref<NSImage> icon = NSImage::initWithContentsOfFile(folder.Write("Harvest.icns", {1, 2, 3}));
    ASSERT_TRUE(icon);
    Ref<NSAlert> alert = MakeRef<NSAlert>();
    alert->setMessageText("Invalid or unsupported URL");
    alert->setInformativeText("The entered URL is either invalid or unsupported.");
    alert->setAlertStyle(NSAlert::NSCriticalAlertStyle);
    alert->setIcon(icon);

    alert->beginSheetModalForWindow(nullptr, delegate.get(), kLowerEnd, 0);
    EXPECT_FALSE(alert->isSheetUp());
    EXPECT_TRUE(alert->buttonTitles().empty());

    alert->beginSheetModalForWindow(window.get(), nullptr, nullptr, 0);
    Ref<NSWindow> other = MakeRef<NSWindow>();
    alert->beginSheetModalForWindow(other.get(), delegate.get(), kLowerEnd, 0);
    EXPECT_TRUE(other->sheets().empty()) << "a sheet is up on one window at a time";

    nlohmann::json expected{
        {"class", "NSAlert"},
        {"oid", alert->objectId()},
        {"messageText", "Invalid or unsupported URL"},
        {"informativeText", "The entered URL is either invalid or unsupported."},
        {"alertStyle", 2},
        {"icon", {{"class", "NSImage"}, {"path", folder / "Harvest.icns"}}},
        {"buttons", {{{"title", "OK"}, {"returnCode", 1000}}}}};
    EXPECT_EQ(window->Describe()["sheets"], nlohmann::json::array({expected}));
    EXPECT_TRUE(alert->clickButtonAtIndex(0));
    Drain();
    EXPECT_TRUE(window->sheets().empty());
    EXPECT_TRUE(Ends().empty());
}

TEST(NSImageTest, OnlyAReadableFileMakesAnImage) {
    TempDir folder;
    std::string file = folder.Write("Harvest.icns", std::vector<uint8_t>(300, 7));
    Ref<NSImage> image = NSImage::initWithContentsOfFile(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->path(), file);
    EXPECT_EQ(image->fileSize(), 300U);
    for (const std::string& path :
         {folder / "missing.icns", folder.Path().string(), std::string()}) {
        EXPECT_FALSE(NSImage::initWithContentsOfFile(path)) << path;
    }
}

} // namespace
