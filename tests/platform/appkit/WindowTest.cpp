#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "appkit/NSApplication.h"
#include "appkit/NSButton.h"
#include "appkit/NSComboBox.h"
#include "appkit/NSSplitView.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindow.h"
#include "appkit/NSWindowController.h"
#include "appkit/NibControlDecoders.h"
#include "appkit/NibLoader.h"
#include "appkit/NibOutletTable.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// Window delegates: one that answers windowShouldClose: with `answer`, one without it.
class CloseDelegate : public NSObject {
public:
    CloseDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject();
    bool answer = true;
    std::vector<id> asked;
};

bool ShouldClose(id self, SEL, id window) {
    auto* delegate = static_cast<CloseDelegate*>(self);
    delegate->asked.push_back(window);
    return delegate->answer;
}

Class CloseDelegate::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<CloseDelegate>("CloseDelegate", NSObject::RootClass());
        class_defineMethod(made, "windowShouldClose:", &ShouldClose);
        return made;
    }();
    return cls;
}

class SilentDelegate : public NSObject {
public:
    SilentDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject() {
        static Class cls =
            RegisterRuntimeClass<SilentDelegate>("SilentDelegate", NSObject::RootClass());
        return cls;
    }
};

TEST(WindowTest, CloseAsksTheDelegate) {
    Ref<NSWindow> window = MakeRef<NSWindow>("Captured SWFs");
    Ref<CloseDelegate> delegate = MakeRef<CloseDelegate>();
    window->setDelegate(delegate.get());
    window->makeKeyAndOrderFront(nullptr);

    delegate->answer = false;
    window->performClose(nullptr);
    EXPECT_TRUE(window->isVisible());
    delegate->answer = true;
    window->performClose(nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(delegate->asked, (std::vector<id>{window.get(), window.get()}));

    Ref<SilentDelegate> silent = MakeRef<SilentDelegate>();
    window->setDelegate(silent.get());
    window->makeKeyAndOrderFront(nullptr);
    window->performClose(nullptr);
    EXPECT_FALSE(window->isVisible());

    window->setDelegate(nullptr);
    window->makeKeyAndOrderFront(nullptr);
    window->performClose(nullptr);
    EXPECT_FALSE(window->isVisible());
}

TEST(WindowTest, FramesKeepTheContentViewUnderTheTitleBar) {
    Ref<NSWindow> window = MakeRef<NSWindow>();
    int changes = 0;
    window->AddObserver([&changes] { ++changes; });
    window->setFrame(NSMakeRect(100, 200, 400, 602), true, true);
    EXPECT_EQ(window->contentRectForFrameRect(window->frame()), NSMakeRect(100, 200, 400, 580));
    EXPECT_EQ(window->frameRectForContentRect(NSMakeRect(100, 200, 400, 580)), window->frame());
    EXPECT_EQ(window->contentView()->frame(), NSMakeRect(0, 0, 400, 580));
    EXPECT_TRUE(window->lastFrameChangeAnimated());
    // A frame lower than the title bar has an empty content rectangle, not a negative one.
    EXPECT_EQ(window->contentRectForFrameRect(NSMakeRect(0, 0, 10, 5)).size.height, 0);

    Ref<NSView> content = MakeRef<NSView>();
    window->setContentView(content);
    EXPECT_EQ(content->frame(), NSMakeRect(0, 0, 400, 580));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(window->Describe()["frame"], (nlohmann::json{100, 200, 400, 602}));
}

// An owner of an interface file as the captured-SWF window's controller is: a window
// controller subclass with outlets for its controls.
class ListController : public NSWindowController {
public:
    ListController() : ListController(std::string()) {}
    explicit ListController(std::string path) : NSWindowController(ClassObject(), path, nullptr) {}
    static Class ClassObject();

    Ref<NSSplitView> splitView;
    Ref<NSButton> btnSaveSWF;
    Ref<NSComboBox> combox;
    Ref<NSTextField> filename;
    int loads = 0;
    int saves = 0;
    bool splitViewSeenOnLoad = false;

protected:
    void windowDidLoad() override {
        ++loads;
        splitViewSeenOnLoad = static_cast<bool>(splitView);
    }
};

void OnSave(id self, SEL, id) {
    ++static_cast<ListController*>(self)->saves;
}

Class ListController::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<ListController>("ListController",
                                                          NSWindowController::ClassObject());
        class_defineMethod(made, "onSaveSWF:", &OnSave);
        NibOutletTable::Declare(made, "splitView", &ListController::splitView);
        NibOutletTable::Declare(made, "btnSaveSWF", &ListController::btnSaveSWF);
        NibOutletTable::Declare(made, "combox", &ListController::combox);
        NibOutletTable::Declare(made, "filename", &ListController::filename);
        return made;
    }();
    return cls;
}

constexpr const char* kListFile = R"({
  "objects": [
    { "class": "NSWindow", "id": "window", "frame": [100, 100, 400, 602],
      "properties": { "title": "Captured SWFs", "contentView": {
        "class": "NSView", "id": "content", "properties": { "subviews": [
          { "class": "NSSplitView", "id": "split", "frame": [0, 0, 400, 580],
            "properties": { "dividerStyle": 2, "subviews": [
              { "class": "NSView", "id": "top", "frame": [0, 0, 400, 70] },
              { "class": "NSView", "id": "bottom", "frame": [0, 71, 400, 509],
                "properties": { "subviews": [
                  { "class": "NSButton", "id": "save", "frame": [300, 10, 80, 24],
                    "properties": { "title": "Save", "toolTip": "Save the movie" } },
                  { "class": "NSComboBox", "id": "folder",
                    "properties": { "stringValue": "/home", "items": ["/home", "/tmp"] } },
                  { "class": "NSTextField", "id": "name",
                    "properties": { "editable": false, "textColor": [0.3, 0.3, 0.3, 1] } }
                ] } }
            ] } } ] } } } }
  ],
  "outlets": { "window": "window", "splitView": "split", "btnSaveSWF": "save",
               "combox": "folder", "filename": "name" },
  "actions": { "save": "onSaveSWF:" }
})";

TEST(WindowTest, ControllerLoadsItsInterfaceFileLazilyAndOnce) {
    TempDir dir;
    std::string path = dir / "List.json";
    std::ofstream(path) << kListFile;
    Ref<ListController> controller = MakeRef<ListController>(path);
    EXPECT_FALSE(controller->isWindowLoaded());
    EXPECT_FALSE(controller->splitView);

    controller->showWindow(nullptr);
    NSWindow* window = controller->window();
    ASSERT_NE(window, nullptr) << controller->loadError()->message();
    EXPECT_EQ(controller->loads, 1);
    EXPECT_TRUE(controller->splitViewSeenOnLoad);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->title(), "Captured SWFs");
    EXPECT_EQ(window->frame(), NSMakeRect(100, 100, 400, 602));

    ASSERT_TRUE(controller->splitView);
    NSSplitView& split = *controller->splitView;
    EXPECT_EQ(split.superview(), window->contentView());
    EXPECT_EQ(split.dividerThickness(), 1);
    ASSERT_EQ(split.subviews().size(), 2U);
    EXPECT_EQ(split.subviews()[1]->frame(), NSMakeRect(0, 71, 400, 509));
    EXPECT_EQ(controller->btnSaveSWF->title(), "Save");
    EXPECT_EQ(controller->btnSaveSWF->superview(), split.subviews()[1].get());
    EXPECT_EQ(controller->btnSaveSWF->frame(), NSMakeRect(300, 10, 80, 24));
    EXPECT_EQ(controller->combox->itemObjectValueAtIndex(1), "/tmp");
    EXPECT_EQ(controller->combox->stringValue(), "/home");
    EXPECT_FALSE(controller->filename->isEditable());
    EXPECT_FLOAT_EQ(controller->filename->textColor()->redComponent(), 0.3F);

    EXPECT_TRUE(NSApp().performClick(*controller->btnSaveSWF));
    EXPECT_EQ(controller->saves, 1);

    window->performClose(nullptr);
    controller->showWindow(nullptr);
    EXPECT_EQ(controller->window(), window);
    EXPECT_EQ(controller->loads, 1);
    EXPECT_TRUE(window->isVisible());
}

TEST(WindowTest, AFailedLoadIsReportedAndNotRetried) {
    TempDir dir;
    Ref<ListController> missing = MakeRef<ListController>(dir / "Missing.json");
    EXPECT_EQ(missing->window(), nullptr);
    ASSERT_TRUE(missing->loadError().has_value());
    EXPECT_NE(missing->loadError()->why.find("no such file"), std::string::npos);
    missing->showWindow(nullptr);
    EXPECT_EQ(missing->loads, 0);
}

TEST(WindowTest, BadControlPropertiesFailTheLoad) {
    RegisterControlNibDecoders();
    TempDir dir;
    struct Case {
        const char* objects;
        const char* reason;
    };
    for (const Case& bad : {
             Case{R"({"class": "NSSplitView", "id": "s", "properties": {"dividerStyle": 5}})",
                  "dividerStyle"},
             Case{R"({"class": "NSComboBox", "id": "c", "properties": {"items": ["a", 1]}})",
                  "items"},
             Case{R"({"class": "NSButton", "id": "b", "properties": {"title": 3}})", "title"},
             Case{R"({"class": "NSView", "id": "v", "properties": {"subviews": ["v"]}})",
                  "inside itself"},
             Case{R"({"class": "NSWindow", "id": "w", "properties": {"contentView": "w"}})",
                  "contentView"},
         }) {
        std::string path = dir / "Bad.json";
        std::ofstream(path) << R"({"objects": [)" << bad.objects << "]}";
        Outcome<NibContents> result = loadNibFile(path, nullptr);
        ASSERT_FALSE(result.ok()) << bad.objects;
        EXPECT_NE(result.failure().why.find(bad.reason), std::string::npos)
            << result.failure().message();
    }
}

} // namespace
