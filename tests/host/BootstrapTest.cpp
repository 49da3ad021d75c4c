// The plug-in as a host really meets it: the bundle the build assembled, copied so that each
// test can point the companion application's path somewhere of its own, loaded with dlopen.
// ctest runs every case in a process of its own, as a host process would be.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "ReadWholeFile.h"
#include "RecordingWorkspaceBackend.h"
#include "TempDir.h"
#include "appkit/NSApplication.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "appkit/NSSplitView.h"
#include "appkit/NSWindowController.h"
#include "appkit/NSWorkspace.h"
#include "browser/BundleLoader.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kNoFlashLine =
    "Error: couldn't find any compatible flash classes, flash will not work.";

IMP ImplementationOf(const char* selector) {
    Class view = NSClassFromString(WebBaseNetscapePluginView::kClassName);
    return method_getImplementation(class_getInstanceMethod(view, sel_registerName(selector)));
}

class BootstrapTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::Main();
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        oldCapture = home / "Documents/SWFHarvexData/old.swf";
        fs::create_directories(fs::path(oldCapture).parent_path());
        std::ofstream(oldCapture) << "left from the last run";
        auto backend = std::make_unique<RecordingWorkspaceBackend>();
        recorder = backend.get();
        NSWorkspace::sharedWorkspace().setBackend(std::move(backend));
    }
    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    // A copy of the built bundle whose string table puts the companion at `dissectaPath` (where
    // it ships with when empty).
    std::string BundleWithCompanionAt(const std::string& dissectaPath) {
        fs::path copy = bundles.Path() / "SWFHarvex.bundle";
        fs::copy(HVX_BUILT_BUNDLE, copy, fs::copy_options::recursive);
        if (dissectaPath.empty()) {
            return copy.string();
        }
        fs::path strings = copy / "Resources/LocalStrings.strings";
        std::string table = ReadWholeFile(strings.string());
        std::string key = "\"Menu : DissectaApp Path\" = \"";
        size_t start = table.find(key) + key.size();
        table.replace(start, table.find('"', start) - start, dissectaPath);
        std::ofstream(strings, std::ios::trunc) << table;
        return copy.string();
    }
    // A stand-in companion: a folder with the version string given (none when empty).
    std::string Companion(const std::string& version) {
        fs::path app = bundles.Path() / "Dissecta.app";
        fs::create_directories(app);
        if (!version.empty()) {
            std::ofstream(app / "Info.json")
                << R"({"CFBundleShortVersionString": ")" << version << "\"}";
        }
        return app.string();
    }
    void Start(const std::string& hostIdentifier, PluginViewInitialisers initialisers,
               const std::string& dissectaPath = "/nonexistent/Dissecta.app") {
        host = std::make_unique<HostApplication>(hostIdentifier);
        WebBaseNetscapePluginView::RegisterClass(initialisers);
        domImp = ImplementationOf(WebBaseNetscapePluginView::kDOMElementInitialiser);
        elementImp = ImplementationOf(WebBaseNetscapePluginView::kElementInitialiser);
        Outcome<Ref<NSBundle>> loaded =
            BundleLoader::loadBundle(BundleWithCompanionAt(dissectaPath));
        ASSERT_TRUE(loaded) << loaded.failure().message();
    }
    std::vector<std::string> MenuTitles() const {
        std::vector<std::string> titles;
        for (const auto& item : NSApp().mainMenu()->itemArray()) {
            titles.push_back(item->title());
        }
        return titles;
    }
    NSMenuItem* CompanionItem() const {
        NSMenu* ours = NSApp().mainMenu()->itemAtIndex(7)->submenu();
        return ours->itemAtIndex(ours->indexOfItemWithTitle("Update Dissecta…") >= 0
                                     ? ours->indexOfItemWithTitle("Update Dissecta…")
                                     : ours->indexOfItemWithTitle("Get Dissecta…"));
    }

    TempDir home;
    TempDir bundles;
    const char* previousHome = nullptr;
    std::string oldCapture;
    RecordingWorkspaceBackend* recorder = nullptr; // owned by the workspace
    std::unique_ptr<HostApplication> host;
    LogCapture log;
    IMP domImp = nullptr;
    IMP elementImp = nullptr;
};

const std::vector<std::string> kHostMenus = {"Safari",  "File",      "Edit",   "View",
                                             "History", "Bookmarks", "Window", "Help"};

TEST_F(BootstrapTest, BothFormsGetTheDOMElementFormExchangedAndTheMenuInFrontOfTheLast) {
    Start("com.apple.Safari", PluginViewInitialisers::Both);
    EXPECT_NE(ImplementationOf(WebBaseNetscapePluginView::kDOMElementInitialiser), domImp);
    EXPECT_EQ(ImplementationOf(WebBaseNetscapePluginView::kElementInitialiser), elementImp);
    std::vector<std::string> expected = kHostMenus;
    expected.insert(expected.end() - 1, "SWFHarvex");
    EXPECT_EQ(MenuTitles(), expected);
    EXPECT_FALSE(fs::exists(fs::path(oldCapture).parent_path())) << "the old capture folder stays";
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BootstrapTest, OnlyTheElementFormGetsThatOneExchanged) {
    Start("com.apple.Safari", PluginViewInitialisers::ElementOnly);
    EXPECT_NE(ImplementationOf(WebBaseNetscapePluginView::kElementInitialiser), elementImp);
}

TEST_F(BootstrapTest, NoInitialiserLogsTheLineAndLeavesAWorkingMenu) {
    Start("com.apple.Safari", PluginViewInitialisers::None);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{kNoFlashLine});
    ASSERT_EQ(MenuTitles().size(), kHostMenus.size() + 1);
    CompanionItem()->setEnabled(true);
    EXPECT_TRUE(NSApp().performClick(*CompanionItem()));
    ASSERT_EQ(recorder->calls().size(), 1U);
}

TEST_F(BootstrapTest, AnotherHostIsLeftAloneAndNothingIsDeleted) {
    Start("org.example.OtherBrowser", PluginViewInitialisers::Both);
    EXPECT_EQ(ImplementationOf(WebBaseNetscapePluginView::kDOMElementInitialiser), domImp);
    EXPECT_EQ(MenuTitles(), kHostMenus);
    EXPECT_TRUE(fs::exists(oldCapture));
    EXPECT_TRUE(log.Lines().empty());
}

// Each way to a menu controller has its own guard: a second start asks for the shared one, and
// a controller made afresh and initialised gives way to it.
TEST_F(BootstrapTest, ASecondStartOrControllerFindsTheSingleMenuController) {
    Start("com.apple.Safari", PluginViewInitialisers::Both);
    Class controller = NSClassFromString("HVXMenuController");
    id shared = objc_msgSend<id>(controller, "sharedController");
    ASSERT_NE(shared, nullptr);

    objc_msgSend<void>(NSClassFromString("HVXPlugIn"), "load");
    EXPECT_EQ(objc_msgSend<id>(controller, "sharedController"), shared);
    Ref<NSObject> fresh = class_createInstance(controller);
    EXPECT_EQ(objc_msgSend<id>(fresh.get(), "init"), shared);
    EXPECT_EQ(MenuTitles().size(), kHostMenus.size() + 1) << "a second controller added a menu";
}

TEST_F(BootstrapTest, CompanionMissingOffersItsDownloadPage) {
    Start("com.apple.Safari", PluginViewInitialisers::Both);
    NSMenuItem* item = CompanionItem();
    EXPECT_EQ(item->title(), "Get Dissecta…");
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(NSApp().performClick(*item));
    ASSERT_EQ(recorder->calls().size(), 1U);
    EXPECT_EQ(recorder->calls()[0].arguments.at(0), "https://swfharvex.example/dissecta/download");
}

TEST_F(BootstrapTest, CurrentCompanionDisablesTheUpdate) {
    Start("com.apple.Safari", PluginViewInitialisers::Both, Companion("Version 2.0 (build 7)"));
    EXPECT_EQ(CompanionItem()->title(), "Update Dissecta…");
    EXPECT_FALSE(CompanionItem()->isEnabled());
}

TEST_F(BootstrapTest, OlderCompanionOffersTheUpgradePage) {
    Start("com.apple.Safari", PluginViewInitialisers::Both, Companion("Version 1.9 (build 3)"));
    NSMenuItem* item = CompanionItem();
    EXPECT_EQ(item->title(), "Update Dissecta…");
    ASSERT_TRUE(item->isEnabled());
    EXPECT_TRUE(NSApp().performClick(*item));
    ASSERT_EQ(recorder->calls().size(), 1U);
    EXPECT_EQ(recorder->calls()[0].arguments.at(0), "https://swfharvex.example/dissecta/upgrade");
}

TEST_F(BootstrapTest, ShortOrMissingVersionStringsAreSafe) {
    // Too short to hold the compared characters: not current, so the upgrade stays offered.
    Start("com.apple.Safari", PluginViewInitialisers::Both, Companion("2.0"));
    EXPECT_TRUE(CompanionItem()->isEnabled());
}

TEST_F(BootstrapTest, CompanionWithoutVersionCountsAsCurrent) {
    Start("com.apple.Safari", PluginViewInitialisers::Both, Companion(""));
    EXPECT_EQ(CompanionItem()->title(), "Update Dissecta…");
    EXPECT_FALSE(CompanionItem()->isEnabled());
}

} // namespace

namespace {

// The list window as the bundle's own code builds it: found through the runtime, since this
// test links the platform only.
NSWindowController* SharedListWindowController() {
    id shared = objc_msgSend<id>(NSClassFromString("HVXSWFListWindowController"),
                                 "sharedSWFListWindowController");
    return dynamic_cast<NSWindowController*>(shared);
}

TEST_F(BootstrapTest, TheListCommandOpensTheWindowFromTheBundleAndRebuildsItAfterAClose) {
    Start("com.apple.Safari", PluginViewInitialisers::Both);
    NSMenu* ours = NSApp().mainMenu()->itemAtIndex(7)->submenu();
    NSMenuItem* list = nullptr;
    for (const Ref<NSMenuItem>& item : ours->itemArray()) {
        if (item->action() == sel_registerName("showHVXSWFListWindow:")) {
            list = item.get();
        }
    }
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(NSApp().performClick(*list));
    Ref<NSWindowController> first(SharedListWindowController());
    ASSERT_TRUE(first);
    ASSERT_NE(first->window(), nullptr) << first->loadError()->message();
    EXPECT_TRUE(first->window()->isVisible());
    EXPECT_NE(dynamic_cast<NSSplitView*>(first->window()->contentView()), nullptr);
    const std::string trust = home.Path().string() +
                              "/Library/Preferences/Macromedia/Flash Player/#Security/"
                              "FlashPlayerTrust/SWFHarvexTrustFiles.cfg";
    EXPECT_EQ(ReadWholeFile(trust), (bundles.Path() / "SWFHarvex.bundle/Resources").string());

    first->window()->performClose(nullptr);
    ASSERT_TRUE(NSApp().performClick(*list));
    EXPECT_NE(SharedListWindowController(), first.get());
    EXPECT_TRUE(SharedListWindowController()->window()->isVisible());
}

} // namespace

// What a fresh machine gets: scripts/run installs the built companion where the string table
// says, the menu counts it as current, and the Open button's request starts it for real: it
// writes its report and hands it to the desktop's opener.
TEST_F(BootstrapTest, TheInstalledCompanionIsCurrentAndOpensAMovieForReal) {
    const std::string install = "HOME='" + home.Path().string() + "' bash -c 'source " +
                                HVX_SOURCE_ROOT + "/scripts/lib/common.sh && install_dissecta " +
                                HVX_BUILD_ROOT + "'";
    ASSERT_EQ(std::system(install.c_str()), 0);
    Start("com.apple.Safari", PluginViewInitialisers::Both, "");
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front(); // its Info.json read as it is
    EXPECT_EQ(CompanionItem()->title(), "Update Dissecta…");
    EXPECT_FALSE(CompanionItem()->isEnabled());

    // An opener that notes what it was asked to open.
    const fs::path tools = bundles.Path() / "tools";
    fs::create_directories(tools);
    const fs::path opened = bundles.Path() / "opened.txt";
    // Written aside and renamed: the file appears whole, never empty as `>` first makes it.
    std::ofstream(tools / "xdg-open")
        << "#!/bin/sh\necho \"$1\" > '" << opened.string() << ".part' && mv '" << opened.string()
        << ".part' '" << opened.string() << "'\n";
    fs::permissions(tools / "xdg-open", fs::perms::owner_all);
    const std::string previousPath = std::getenv("PATH");
    setenv("PATH", (tools.string() + ":" + previousPath).c_str(), 1);
    NSWorkspace::sharedWorkspace().setBackend(nullptr);
    const fs::path movie = home.Path() / "Documents/SWFHarvexData/movie.swf";
    fs::create_directories(movie.parent_path());
    fs::copy_file(fs::path(HVX_BUILT_BUNDLE) / "Resources/AdBrowser.swf", movie);

    const std::string app = (home.Path() / ".local/share/swfharvex/Dissecta.app").string();
    EXPECT_TRUE(NSWorkspace::sharedWorkspace().openFile(movie.string(), app, true));
    const fs::path report = home.Path() / "Documents/Dissecta/movie.swf.html";
    for (int i = 0; i < 200 && !fs::exists(opened); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    setenv("PATH", previousPath.c_str(), 1);
    ASSERT_TRUE(fs::exists(opened)) << "the companion never handed its report to the opener";
    EXPECT_EQ(ReadWholeFile(opened.string()), report.string() + "\n");
    EXPECT_NE(ReadWholeFile(report.string()).find("SetBackgroundColor"), std::string::npos);
}
