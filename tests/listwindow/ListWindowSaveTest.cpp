#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "ForkedChild.h"
#include "ListWindowHarness.h"
#include "ReadWholeFile.h"
#include "RecordingWorkspaceBackend.h"
#include "appkit/NSApplication.h"
#include "appkit/NSWorkspace.h"
#include "capture/CaptureRecords.h"
#include "foundation/RunLoop.h"
#include "foundation/defaults/NSUserDefaults.h"
#include "listwindow/SaveWorkflow.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

constexpr const char* kOld = "the user's own file";
// The sheets' messages, as the bundle's string table words them.
constexpr const char* kOverwrite = "A file of that name is already there. Replace it?";
constexpr const char* kCreateFolder = "The folder does not exist.";
constexpr const char* kNoSlash = "The folder must be a full path.";
constexpr const char* kNotWritable = "The folder cannot be written to.";
constexpr const char* kSaveFailed = "The movie could not be saved.";
constexpr const char* kOpenFailed = "The movie could not be opened in Dissecta.";

// The captured-SWF window's Save, Browse and Open buttons as a user meets them: a movie is
// caught and selected, a folder typed or chosen, a button pressed, a sheet answered; then the
// files on disk, the combo box and the stored history are what the user expects.
class ListWindowSaveTest : public ListWindowHarness {
protected:
    void SetUp() override {
        ListWindowHarness::SetUp();
        auto backend = std::make_unique<RecordingWorkspaceBackend>();
        workspace = backend.get();
        m_previousWorkspace = NSWorkspace::sharedWorkspace().setBackend(std::move(backend));
        fs::create_directories(out);
    }
    void TearDown() override {
        NSWorkspace::sharedWorkspace().setBackend(std::move(m_previousWorkspace));
        ListWindowHarness::TearDown();
    }

    static void StoreInteger(const char* key, int64_t value) {
        NSUserDefaults::standardUserDefaults()->setInteger(value, key);
        ASSERT_TRUE(NSUserDefaults::standardUserDefaults()->synchronize());
        PreferenceData::ResetForTesting();
    }

    // Catches `name`, opens the window and selects the movie, as the page does on a click.
    HVXSWFListWindowController& WindowWith(const std::string& name) {
        Catch(name, movie);
        HVXSWFListWindowController& controller = OpenWindow();
        PageBecomesReady(controller);
        EXPECT_TRUE(PageOf(controller.swfWebview.get())
                        .CallNative("cocoaApp", "OnSelectedSWF",
                                    {std::to_string(m_arraySWFUrl.size() - 1)}));
        EXPECT_EQ(controller.m_SWFName, name);
        return controller;
    }

    static void Press(NSButton* button) {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(NSApp().performClick(*button));
        Settle();
    }
    static void Settle() { RunLoop::Main().RunFor(std::chrono::milliseconds(5)); }

    static NSButton* ButtonTitled(NSView* view, const std::string& title) {
        if (auto* button = dynamic_cast<NSButton*>(view);
            button != nullptr && button->title() == title) {
            return button;
        }
        for (const Ref<NSView>& subview :
             view == nullptr ? std::vector<Ref<NSView>>() : view->subviews()) {
            if (NSButton* found = ButtonTitled(subview.get(), title)) {
                return found;
            }
        }
        return nullptr;
    }

    static NSAlert* Sheet(HVXSWFListWindowController& controller) {
        return dynamic_cast<NSAlert*>(controller.window()->attachedSheet());
    }
    static std::string SheetMessage(HVXSWFListWindowController& controller) {
        NSAlert* alert = Sheet(controller);
        return alert == nullptr ? std::string() : alert->messageText();
    }
    static void Answer(HVXSWFListWindowController& controller, size_t button) {
        NSAlert* alert = Sheet(controller);
        ASSERT_NE(alert, nullptr);
        ASSERT_TRUE(alert->clickButtonAtIndex(button));
        Settle();
    }

    // The history as stored on disk.
    static json StoredHistory() {
        PreferenceData::ResetForTesting();
        return PreferenceData::sharedPreferenceData()
            ->GetPreferenceItem(PreferenceKeys::kSavePathArray, 1)
            .value_or(json());
    }
    static std::set<std::string> Listing(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    const std::vector<uint8_t> movie = Movie(24, 10);
    std::string MovieBytes() const { return {movie.begin(), movie.end()}; }
    const fs::path out = home / "Out";
    RecordingWorkspaceBackend* workspace = nullptr;

private:
    std::unique_ptr<WorkspaceBackend> m_previousWorkspace;
};

TEST(SavePathTest, TargetsAndNumberedNamesFollowThePathRules) {
    const TempDir folder;
    for (const char* taken : {"movie.swf", "movie_1.swf", "movie_2.swf"}) {
        std::ofstream(folder / taken) << kOld;
    }
    const struct {
        std::string folderText;
        std::string name;
        std::string target;
    } targets[] = {
        {"/", "movie.swf", "/movie.swf"},
        {"//", "movie.swf", "//movie.swf"},
        {"/Users/u/Out/", "movie.swf", "/Users/u/Out//movie.swf"},
        {"/Users/u/Out", "movie.swf", "/Users/u/Out/movie.swf"},
    };
    for (const auto& each : targets) {
        EXPECT_EQ(SaveTargetPath({"/capture", each.name, each.folderText, 0}), each.target);
    }
    EXPECT_EQ(NumberedSavePath(folder / "movie.swf"), folder / "movie_3.swf");
    EXPECT_EQ(NumberedSavePath(folder / "clip.SWF"), folder / "clip_1.swf");
    EXPECT_EQ(NumberedSavePath(folder / "noext"), folder / "noext_1.swf");
}

TEST_F(ListWindowSaveTest, TheClashPolicyAndTheSheetsDecideWhatIsWritten) {
    const struct {
        const char* what;
        std::string name;                 // the caught movie
        std::vector<std::string> present; // files in the folder before, holding kOld
        int64_t policy;
        bool folderExists;
        std::vector<std::string> sheets; // the questions asked, in order
        std::vector<size_t> answers;     // the button pressed on each
        std::string written;             // the file that receives the movie; "" for none
        bool recorded;                   // whether the folder enters the history
    } cases[] = {
        {"a free name", "movie.swf", {}, 0, true, {}, {}, "movie.swf", true},
        {"numbered past the taken names",
         "movie.swf",
         {"movie.swf", "movie_1.swf", "movie_2.swf"},
         0,
         true,
         {},
         {},
         "movie_3.swf",
         true},
        {"numbered in lower case", "clip.SWF", {"clip.SWF"}, 0, true, {}, {}, "clip_1.swf", true},
        {"numbered without extension", "noext", {"noext"}, 0, true, {}, {}, "noext_1.swf", true},
        {"replaced", "movie.swf", {"movie.swf"}, 1, true, {}, {}, "movie.swf", true},
        {"asked, OK", "movie.swf", {"movie.swf"}, 2, true, {kOverwrite}, {0}, "movie.swf", true},
        {"asked, Cancel", "movie.swf", {"movie.swf"}, 2, true, {kOverwrite}, {1}, "", false},
        // A hand-edited setting: a failed save, not a silent one.
        {"a policy of 7", "movie.swf", {"movie.swf"}, 7, true, {kSaveFailed}, {0}, "", false},
        {"a policy of -1", "movie.swf", {"movie.swf"}, -1, true, {kSaveFailed}, {0}, "", false},
        {"folder created", "movie.swf", {}, 0, false, {kCreateFolder}, {0}, "movie.swf", true},
        {"folder not created", "movie.swf", {}, 0, false, {kCreateFolder}, {1}, "", false},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        const fs::path folder = out / each.what;
        if (each.folderExists) {
            fs::create_directories(folder);
        }
        for (const std::string& name : each.present) {
            std::ofstream(folder / name) << kOld;
        }
        StoreInteger(PreferenceKeys::kFileMatrixIndex, each.policy);
        HVXSWFListWindowController& window = WindowWith(each.name);
        ASSERT_TRUE(window.combox->userEditedText(folder.string()));
        const json historyBefore = StoredHistory();
        const size_t revealsBefore = workspace->calls().size();

        Press(window.btnSaveSWF.get());
        for (size_t step = 0; step < each.sheets.size(); ++step) {
            EXPECT_EQ(SheetMessage(window), each.sheets[step]);
            ASSERT_NE(Sheet(window), nullptr);
            if (each.sheets[step] == kSaveFailed) {
                EXPECT_NE(Sheet(window)->informativeText().find("choose one in Preferences"),
                          std::string::npos);
            }
            Answer(window, each.answers[step]);
        }
        // Revealed (the setting's default is on) exactly when saved.
        EXPECT_EQ(workspace->calls().size() > revealsBefore, each.recorded);
        EXPECT_EQ(Sheet(window), nullptr);

        std::set<std::string> expected(each.present.begin(), each.present.end());
        if (!each.written.empty()) {
            expected.insert(each.written);
            EXPECT_EQ(ReadWholeFile(folder / each.written), MovieBytes());
        }
        // Nothing else is there: no half copy, no temporary file.
        EXPECT_EQ(fs::exists(folder) ? Listing(folder) : std::set<std::string>(), expected);
        for (const std::string& name : each.present) {
            if (name != each.written) {
                EXPECT_EQ(ReadWholeFile(folder / name), kOld) << name;
            }
        }
        EXPECT_EQ(ReadWholeFile(m_downSWFPath + "/" + each.name), MovieBytes());
        if (each.recorded) {
            ASSERT_FALSE(StoredHistory().empty());
            EXPECT_EQ(StoredHistory().front(), folder.string());
            EXPECT_EQ(window.combox->items().back(), folder.string());
        } else {
            EXPECT_EQ(StoredHistory(), historyBefore);
        }
    }
}

// The folder appears while the question to create it is open: a folder there is as good as one
// made; anything else there still fails, and is left as it was.
TEST_F(ListWindowSaveTest, WhatAppearsWhileTheCreateQuestionIsOpenDecidesTheAnswer) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> appear;
        bool saved;
    } cases[] = {
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }, true},
        {"a link to a folder",
         [this](const fs::path& at) {
             fs::create_directory(out / "elsewhere");
             fs::create_directory_symlink(out / "elsewhere", at);
         },
         true},
        {"a plain file", [](const fs::path& at) { std::ofstream(at) << kOld; }, false},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        const fs::path folder = out / each.what;
        HVXSWFListWindowController& window = WindowWith("movie.swf");
        ASSERT_TRUE(window.combox->userEditedText(folder.string()));
        Press(window.btnSaveSWF.get());
        ASSERT_EQ(SheetMessage(window), kCreateFolder);
        const json historyBefore = StoredHistory();
        each.appear(folder);
        Answer(window, 0);
        if (each.saved) {
            EXPECT_EQ(Sheet(window), nullptr);
            EXPECT_EQ(ReadWholeFile(folder / "movie.swf"), MovieBytes());
            EXPECT_EQ(StoredHistory().front(), folder.string());
        } else {
            EXPECT_EQ(SheetMessage(window), kSaveFailed);
            Answer(window, 0);
            EXPECT_EQ(ReadWholeFile(folder), kOld);
            EXPECT_EQ(StoredHistory(), historyBefore);
        }
    }
}

TEST_F(ListWindowSaveTest, EverySheetIsAWarningWithTheCompanionsIconAndItsOwnHandler) {
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    ASSERT_TRUE(window.combox->userEditedText((out / "missing").string()));
    Press(window.btnSaveSWF.get());
    NSAlert* alert = Sheet(window);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->buttonTitles(), (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(alert->informativeText(), "Create it and save the movie there?");
    EXPECT_EQ(alert->alertStyle(), NSAlert::NSWarningAlertStyle);
    ASSERT_NE(alert->icon(), nullptr);
    EXPECT_EQ(fs::path(alert->icon()->path()).filename(), "DissectaLogo.icns");
    // The sheet is modal for the window: another press stacks nothing, and the overwrite
    // handler may not answer the folder's question.
    Press(window.btnSaveSWF.get());
    Press(window.btnOpenSWF.get());
    EXPECT_EQ(window.window()->sheets().size(), 1U);
    window.AlertDidEnd(alert, NSAlert::NSAlertFirstButtonReturn, 1);
    EXPECT_FALSE(fs::exists(out / "missing"));
    Answer(window, 0);
    EXPECT_EQ(ReadWholeFile(out / "missing" / "movie.swf"), MovieBytes());
}

TEST_F(ListWindowSaveTest, FoldersThatCannotBeUsedAreRefusedWithNothingWritten) {
    fs::create_directories(home / "Desktop");
    const struct {
        std::string folderText;
        std::string sheet;
    } cases[] = {
        {"", kNoSlash},
        {"Out", kNoSlash},
        {"~/Desktop", kNoSlash},
        // A plain file where the folder should be: the copy into it fails and says so.
        {(out / "plain").string(), kSaveFailed},
        // The folder may be created one level deep only.
        {(out / "no" / "such").string(), kCreateFolder},
    };
    std::ofstream(out / "plain") << kOld;
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.folderText);
        ASSERT_TRUE(window.combox->userEditedText(each.folderText));
        Press(window.btnSaveSWF.get());
        EXPECT_EQ(SheetMessage(window), each.sheet);
        if (each.sheet == kSaveFailed) {
            EXPECT_EQ(Sheet(window)->informativeText().find(out / "plain" / "movie.swf"), 0U);
        }
        Answer(window, 0);
        // A failure sheet may follow the question; it answers nothing.
        if (Sheet(window) != nullptr) {
            EXPECT_EQ(SheetMessage(window), kSaveFailed);
            Answer(window, 0);
        }
    }
    EXPECT_EQ(Listing(out), std::set<std::string>{"plain"});
    EXPECT_EQ(ReadWholeFile(out / "plain"), kOld);
    EXPECT_TRUE(fs::is_empty(home / "Desktop"));
    EXPECT_EQ(StoredHistory(), json::array());
}

TEST_F(ListWindowSaveTest, WhatCannotBeSavedIsReportedAndNothingIsLostOrRecorded) {
    HVXSWFListWindowController& window = WindowWith("movie.swf");

    // Nothing selected: the press is declined.
    window.m_SWFName.clear();
    ASSERT_TRUE(window.combox->userEditedText(out.string()));
    Press(window.btnSaveSWF.get());
    EXPECT_EQ(Sheet(window), nullptr);
    window.m_SWFName = "movie.swf";

    // The capture folder itself, with replace: the caught movie stays whole where it is.
    StoreInteger(PreferenceKeys::kFileMatrixIndex, 1);
    ASSERT_TRUE(window.combox->userEditedText(m_downSWFPath));
    Press(window.btnSaveSWF.get());
    EXPECT_EQ(Sheet(window), nullptr);
    EXPECT_EQ(ReadWholeFile(m_downSWFPath + "/movie.swf"), MovieBytes());
    EXPECT_EQ(StoredHistory(), json(std::vector<std::string>{m_downSWFPath}));

    // The caught movie gone (a new start emptied the folder): reported, under every policy.
    fs::remove(m_downSWFPath + "/movie.swf");
    std::ofstream(out / "movie.swf") << kOld;
    for (int64_t policy : {0, 1}) {
        StoreInteger(PreferenceKeys::kFileMatrixIndex, policy);
        ASSERT_TRUE(window.combox->userEditedText(out.string()));
        Press(window.btnSaveSWF.get());
        EXPECT_EQ(SheetMessage(window), kSaveFailed) << policy;
        ASSERT_NE(Sheet(window), nullptr);
        EXPECT_NE(Sheet(window)->informativeText().find("movie.swf"), std::string::npos);
        Answer(window, 0);
    }
    EXPECT_EQ(Listing(out), std::set<std::string>{"movie.swf"});
    EXPECT_EQ(ReadWholeFile(out / "movie.swf"), kOld);
    EXPECT_EQ(StoredHistory(), json(std::vector<std::string>{m_downSWFPath}));
}

// Faults the test process cannot have itself: a read-only or full file system, a copy cut off
// half-way. Each runs in a forked child, which answers the first check that failed.
TEST_F(ListWindowSaveTest, FileSystemFaultsLeaveTheUsersFilesAndSettingsAsTheyWere) {
    constexpr size_t kLimit = size_t{64} << 10;
    std::vector<uint8_t> padded = Movie(24, 10, 10, false, 4 * kLimit);
    Catch("big.swf", padded);
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    ASSERT_TRUE(PageOf(window.swfWebview.get()).CallNative("cocoaApp", "OnSelectedSWF", {"0"}));
    ASSERT_EQ(window.m_SWFName, "big.swf");
    std::ofstream(out / "big.swf") << kOld;

    enum Fault { ReadOnly, Full, HalfWay };
    const struct {
        Fault fault;
        int64_t policy;
        const char* sheet;
    } cases[] = {
        {ReadOnly, 0, kNotWritable},
        {Full, 0, kSaveFailed},
        {HalfWay, 1, kSaveFailed},
    };
    for (const auto& each : cases) {
        StoreInteger(PreferenceKeys::kFileMatrixIndex, each.policy);
        ASSERT_TRUE(window.combox->userEditedText(out.string()));
        const int status = RunInChild([&] {
            const bool ready = each.fault == ReadOnly ? MountReadOnly(out.string())
                               : each.fault == Full
                                   ? MountTinyFileSystem(out.string(), kLimit) &&
                                         (std::ofstream(out / "big.swf") << kOld).good()
                                   : LimitFileSize(static_cast<off_t>(kLimit));
            if (!ready) {
                return kChildCannotSetUp;
            }
            Press(window.btnSaveSWF.get());
            if (SheetMessage(window) != each.sheet) {
                return 1;
            }
            if (each.sheet == kSaveFailed &&
                Sheet(window)->informativeText().find(out.string()) != 0) {
                return 2;
            }
            if (Listing(out) != std::set<std::string>{"big.swf"} ||
                ReadWholeFile(out / "big.swf") != kOld) {
                return 3;
            }
            return StoredHistory() == json::array() ? 0 : 4;
        });
        if (status == kChildCannotSetUp) {
            GTEST_SKIP() << "this machine cannot simulate the fault";
        }
        EXPECT_EQ(status, 0) << "fault " << each.fault;
    }
}

TEST_F(ListWindowSaveTest, TheSavedFileIsRevealedExactlyWhenAutoOpenIsOn) {
    const struct {
        std::optional<json> stored;
        bool reveals;
    } cases[] = {{json("true"), true},
                 {json("yes"), true},
                 {json("false"), false},
                 // Nothing stored: the store's default, on.
                 {std::nullopt, true}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.stored ? each.stored->dump() : "missing");
        json preferences = json::object();
        if (each.stored) {
            preferences[PreferenceKeys::kAutoOpen] = *each.stored;
        }
        StoreSettings(preferences, std::nullopt);
        HVXSWFListWindowController& window = WindowWith("movie.swf");
        const size_t before = workspace->calls().size();
        const std::string folder = (out / "My Movies").string() + "/";
        fs::create_directories(folder);
        fs::remove(folder + "movie.swf");
        ASSERT_TRUE(window.combox->userEditedText(folder));
        Press(window.btnSaveSWF.get());
        const std::vector<WorkspaceCall> calls(
            workspace->calls().begin() + static_cast<ptrdiff_t>(before), workspace->calls().end());
        const std::vector<WorkspaceCall> expected = {
            {"openURL", {"file://" + (out / "My%20Movies").string() + "/"}},
            {"selectFile", {folder + "/movie.swf", ""}},
        };
        EXPECT_EQ(calls, each.reveals ? expected : std::vector<WorkspaceCall>());
    }
}

TEST_F(ListWindowSaveTest, OnlyFoldersNotListedInTheComboBoxEnterTheHistoryAgain) {
    std::vector<std::string> history;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        history.push_back((out / name).string());
        fs::create_directories(history.back());
    }
    StoreSettings({{PreferenceKeys::kSavePathArray, history}}, std::nullopt);
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    // "b" is listed; "e", fifth in the history, is not.
    for (const char* name : {"b", "e"}) {
        ASSERT_TRUE(window.combox->userEditedText((out / name).string()));
        Press(window.btnSaveSWF.get());
    }
    EXPECT_EQ(StoredHistory(), json({history[4], history[0], history[1], history[2]}));
    EXPECT_EQ(window.combox->items(),
              (std::vector<std::string>{history[2], history[1], history[0], history[4]}));
    EXPECT_EQ(ReadWholeFile(out / "b" / "movie.swf"), MovieBytes());
    EXPECT_EQ(ReadWholeFile(out / "e" / "movie.swf"), MovieBytes());
}

TEST_F(ListWindowSaveTest, BrowseSetsTheFolderOnlyWhenOneIsChosen) {
    fs::create_directories(home / "Chosen");
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    NSButton* browse = ButtonTitled(window.window()->contentView(), "Browse\u2026");
    const std::string before = window.combox->stringValue();
    for (bool choose : {false, true}) {
        Press(browse);
        auto* panel = dynamic_cast<NSOpenPanel*>(window.window()->attachedSheet());
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->directory(), home.Path().string());
        EXPECT_TRUE(panel->canChooseDirectories());
        ASSERT_TRUE(choose ? panel->choose({(home / "Chosen")}) : panel->cancel());
        Settle();
        EXPECT_EQ(window.combox->stringValue(), choose ? (home / "Chosen") : before);
    }
    EXPECT_EQ(StoredHistory(), json::array());
}

TEST_F(ListWindowSaveTest, OpenHandsTheCaughtMovieToTheCompanionOrSaysWhereToGetIt) {
    HVXSWFListWindowController& window = WindowWith("movie.swf");
    // Not installed: the sheet's two buttons open their two addresses.
    for (size_t button : {0U, 1U}) {
        Press(window.btnOpenSWF.get());
        NSAlert* alert = Sheet(window);
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->buttonTitles(), (std::vector<std::string>{"Learn More", "Download"}));
        EXPECT_EQ(alert->messageText(), "Dissecta is not installed. Dissecta opens, inspects and "
                                        "takes apart SWF movies.");
        Answer(window, button);
    }
    EXPECT_EQ(
        workspace->calls(),
        (std::vector<WorkspaceCall>{{"openURL", {"https://swfharvex.example/dissecta"}},
                                    {"openURL", {"https://swfharvex.example/dissecta/download"}}}));

    // A plain file counts as installed; the caught copy is handed over.
    std::ofstream(DissectaPath()) << "a plain file";
    Press(window.btnOpenSWF.get());
    EXPECT_EQ(Sheet(window), nullptr);
    EXPECT_EQ(workspace->calls().back(),
              (WorkspaceCall{"openFile", {m_downSWFPath + "/movie.swf", DissectaPath()}, true}));

    // The companion refusing to start: logged and shown.
    workspace->setResult(false);
    Press(window.btnOpenSWF.get());
    EXPECT_EQ(SheetMessage(window), kOpenFailed);
    ASSERT_NE(Sheet(window), nullptr);
    EXPECT_NE(Sheet(window)->informativeText().find(RecordingWorkspaceBackend::kRefusal),
              std::string::npos);
}

} // namespace
