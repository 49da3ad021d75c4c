#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScriptedFolderBackend.h"
#include "TempDir.h"
#include "appkit/FileSystemFolderBackend.h"
#include "appkit/NSOpenPanel.h"
#include "appkit/NSWindow.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

struct PanelEnd {
    id panel;
    int64_t returnCode;
    std::vector<std::string> filenames; // as the panel held them when the delegate heard

    bool operator==(const PanelEnd&) const = default;
};

class PanelDelegate : public NSObject {
public:
    PanelDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject();
    std::vector<PanelEnd> ends;
};

void PanelDidEnd(id self, SEL, id panel, int64_t returnCode, int64_t) {
    static_cast<PanelDelegate*>(self)->ends.push_back(
        {panel, returnCode, static_cast<NSOpenPanel*>(panel)->filenames()});
}

Class PanelDelegate::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<PanelDelegate>("PanelDelegate", NSObject::RootClass());
        class_defineMethod(made, "openPanelDidEnd:returnCode:contextInfo:", &PanelDidEnd);
        return made;
    }();
    return cls;
}

// A home folder of movies, scripted; "/locked" cannot be listed.
class OpenPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<ScriptedFolderBackend>();
        backend->AddFolder("/home/u", {{"notes.txt", false},
                                       {"b.swf", false},
                                       {"Movies", true},
                                       {".hidden.swf", false},
                                       {"clip.SWF", false}});
        backend->AddFolder("/home/u/Movies", {{"a.swf", false}, {"Old", true}});
        backend->FailFolder("/locked", "Permission denied");
        previous = NSOpenPanel::setBackend(std::move(backend));
    }
    void TearDown() override { NSOpenPanel::setBackend(std::move(previous)); }

    Ref<NSOpenPanel> Begin(bool directories, bool files, bool multiple) {
        Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
        panel->setCanChooseDirectories(directories);
        panel->setCanChooseFiles(files);
        panel->setAllowsMultipleSelection(multiple);
        panel->beginSheetForDirectory("/home/u", "", {"swf"}, window.get(), delegate.get(),
                                      sel_registerName("openPanelDidEnd:returnCode:contextInfo:"),
                                      0);
        return panel;
    }

    void Drain() {
        bool reached = false;
        RunLoop::Main().Post([&reached] { reached = true; });
        ASSERT_TRUE(
            RunLoop::Main().RunUntil([&reached] { return reached; }, std::chrono::seconds(5)));
    }

    std::unique_ptr<FolderBackend> previous;
    Ref<NSWindow> window = MakeRef<NSWindow>("Captured SWFs");
    Ref<PanelDelegate> delegate = MakeRef<PanelDelegate>();
};

TEST_F(OpenPanelTest, ChoosingChecksEveryPathAgainstThePanelsRules) {
    struct Case {
        const char* name;
        bool directories, files, multiple;
        std::vector<std::string> paths;
        std::vector<std::string> chosen; // empty: refused
    };
    const std::vector<Case> table{
        {"a file of the type", false, true, false, {"/home/u/b.swf"}, {"/home/u/b.swf"}},
        {"type in other case", false, true, false, {"/home/u/clip.SWF"}, {"/home/u/clip.SWF"}},
        {"path made normal", false, true, false, {"/home/u/Movies/../b.swf"}, {"/home/u/b.swf"}},
        {"another type", false, true, false, {"/home/u/notes.txt"}, {}},
        {"hidden", false, true, false, {"/home/u/.hidden.swf"}, {}},
        {"missing", false, true, false, {"/home/u/none.swf"}, {}},
        {"relative", false, true, false, {"b.swf"}, {}},
        {"root", true, true, false, {"/"}, {}},
        {"nothing", false, true, false, {}, {}},
        {"unlistable folder", false, true, false, {"/locked/x.swf"}, {}},
        {"folder not allowed", false, true, false, {"/home/u/Movies"}, {}},
        {"folder allowed", true, false, false, {"/home/u/Movies/"}, {"/home/u/Movies"}},
        {"file not allowed", true, false, false, {"/home/u/b.swf"}, {}},
        {"two, one allowed", false, true, false, {"/home/u/b.swf", "/home/u/Movies/a.swf"}, {}},
        {"two allowed",
         false,
         true,
         true,
         {"/home/u/b.swf", "/home/u/Movies/a.swf"},
         {"/home/u/b.swf", "/home/u/Movies/a.swf"}},
    };
    for (const Case& c : table) {
        delegate->ends.clear();
        Ref<NSOpenPanel> panel = Begin(c.directories, c.files, c.multiple);
        bool accepted = panel->choose(c.paths);
        EXPECT_EQ(accepted, !c.chosen.empty()) << c.name;
        if (!accepted) {
            EXPECT_EQ(window->attachedSheet(), panel.get()) << c.name;
            EXPECT_FALSE(panel->Describe()["error"].is_null()) << c.name;
            EXPECT_TRUE(panel->cancel()) << c.name;
        }
        Drain();
        int64_t code = accepted ? NSOpenPanel::NSOKButton : NSOpenPanel::NSCancelButton;
        EXPECT_EQ(delegate->ends, (std::vector<PanelEnd>{{panel.get(), code, c.chosen}})) << c.name;
        EXPECT_EQ(panel->filenames(), c.chosen) << c.name;
        EXPECT_TRUE(window->sheets().empty()) << c.name;
    }
}

TEST_F(OpenPanelTest, NavigationShowsListableFoldersOnlyAndSaysWhyNot) {
    Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
    EXPECT_FALSE(panel->navigateTo("/home/u/Movies")) << "not up yet";
    panel->beginSheetForDirectory("/locked", "", {".SWF"}, window.get(), nullptr, nullptr, 0);
    EXPECT_EQ(panel->Describe()["error"], "/locked: Permission denied");
    EXPECT_TRUE(panel->entries().empty());

    EXPECT_TRUE(panel->navigateTo("/home/u/"));
    nlohmann::json described = panel->Describe();
    EXPECT_EQ(described["directory"], "/home/u");
    EXPECT_TRUE(described["error"].is_null());
    EXPECT_EQ(described["types"], nlohmann::json::array({"swf"}));
    EXPECT_EQ(described["entries"],
              (nlohmann::json{{{"name", "Movies"}, {"isDirectory", true}},
                              {{"name", "b.swf"}, {"isDirectory", false}},
                              {{"name", "clip.SWF"}, {"isDirectory", false}}}));

    for (const auto& [folder, error] : std::vector<std::pair<std::string, std::string>>{
             {"Movies", "Movies: not an absolute path"},
             {"/locked", "/locked: Permission denied"},
             {"/nowhere", "/nowhere: No such file or directory"}}) {
        EXPECT_FALSE(panel->navigateTo(folder)) << folder;
        EXPECT_EQ(panel->directory(), "/home/u") << folder;
        EXPECT_EQ(panel->Describe()["error"], error) << folder;
    }
    EXPECT_TRUE(panel->navigateTo("/home/u/Movies"));
    EXPECT_EQ(panel->entries(), (std::vector<FolderEntry>{{"Old", true}, {"a.swf", false}}));
    EXPECT_EQ(window->Describe()["sheets"][0], panel->Describe());

    EXPECT_TRUE(panel->cancel());
    EXPECT_FALSE(panel->cancel());
    EXPECT_FALSE(panel->navigateTo("/home/u"));
}

TEST(FileSystemFolderBackendTest, ListsSortedWithoutHiddenEntries) {
    TempDir folder;
    folder.Write("b.swf", {1});
    folder.Write(".hidden", {1});
    folder.Write("C.txt", {1});
    std::filesystem::create_directory(folder.Path() / "a");
    std::filesystem::create_directory_symlink(folder.Path() / "a", folder.Path() / "link");

    FileSystemFolderBackend backend;
    Outcome<std::vector<FolderEntry>> listing = backend.ListFolder(folder.Path().string());
    ASSERT_TRUE(listing.ok()) << listing.failure().message();
    EXPECT_EQ(listing.value(),
              (std::vector<FolderEntry>{
                  {"C.txt", false}, {"a", true}, {"b.swf", false}, {"link", true}}));

    Outcome<std::vector<FolderEntry>> missing = backend.ListFolder(folder / "missing");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().what, folder / "missing");
}

} // namespace
