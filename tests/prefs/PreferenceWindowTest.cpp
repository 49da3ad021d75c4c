#include <string>
#include <vector>

#include "PlugInWindowHarness.h"
#include "appkit/NSApplication.h"
#include "appkit/NSColor.h"
#include "appkit/NSOpenPanel.h"
#include "foundation/defaults/NSUserDefaults.h"
#include "prefs/HVXPreferenceWindowController.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"

namespace {

using nlohmann::json;
namespace keys = PreferenceKeys;

class PreferenceWindowTest : public PlugInWindowHarness {
protected:
    HVXPreferenceWindowController& Open() {
        m_controller = MakeRef<HVXPreferenceWindowController>();
        EXPECT_EQ(m_controller->init(), m_controller.get());
        m_controller->showWindow(nullptr);
        EXPECT_NE(m_controller->window(), nullptr) << m_controller->loadError()->message();
        return *m_controller;
    }
    // The clash matrix has no outlet: found as a presenter finds it, by what it is bound to.
    NSMatrix* FileMatrix() const {
        for (const Ref<NSView>& view : m_controller->window()->contentView()->subviews()) {
            auto* matrix = dynamic_cast<NSMatrix*>(view.get());
            if (matrix != nullptr &&
                matrix->Describe()["bindings"] == json{{"selectedIndex", keys::kFileMatrixIndex}}) {
                return matrix;
            }
        }
        return nullptr;
    }
    static void StoreSettings(const json& settings, int64_t saveMatrixIndex) {
        NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
        defaults->setObject(settings, keys::kPreferences);
        defaults->setInteger(saveMatrixIndex, keys::kSaveMatrixIndex);
        ASSERT_TRUE(defaults->synchronize());
        PreferenceData::ResetForTesting();
    }
    static bool IsGrey(const NSTextField& field) {
        return field.textColor()->isEqual(*NSColor::grayColor());
    }
    static bool IsBlack(const NSTextField& field) {
        return field.textColor()->isEqual(*NSColor::blackColor());
    }

    Ref<HVXPreferenceWindowController> m_controller;
};

TEST_F(PreferenceWindowTest, TheFirstShowDisplaysTheStoredSettingsAndSavesThem) {
    struct Case {
        const char* name;
        json settings; // null: nothing stored
        int64_t saveMatrixIndex;
        std::string field; // "~" stands for the home folder
        int64_t checkBox;
        bool folderControlsEnabled;
    };
    const std::vector<Case> table{
        {"first run", nullptr, 0, "~/Desktop", NSOnState, false},
        {"stored, last folder",
         {{keys::kSavePrefePath, "/srv/movies"}, {keys::kAutoOpen, "true"}},
         0,
         "/srv/movies",
         NSOnState,
         false},
        {"stored, this folder",
         {{keys::kSavePrefePath, "/srv/movies"}, {keys::kAutoOpen, "false"}},
         1,
         "/srv/movies",
         NSOffState,
         true},
        {"not the flag's text", {{keys::kAutoOpen, "yes"}}, 1, "~/Desktop", NSOffState, true},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        if (!c.settings.is_null()) {
            StoreSettings(c.settings, c.saveMatrixIndex);
        }
        HVXPreferenceWindowController& controller = Open();
        const std::string field = c.field[0] == '~' ? Home() + c.field.substr(1) : c.field;
        EXPECT_TRUE(controller.window()->isVisible());
        EXPECT_EQ(controller.window()->title(), "Preferences");
        EXPECT_EQ(controller.m_savePath->stringValue(), field);
        EXPECT_EQ(controller.m_autoOpen->state(), c.checkBox);
        EXPECT_EQ(controller.m_savePath->isEnabled(), c.folderControlsEnabled);
        EXPECT_EQ(controller.m_browsePath->isEnabled(), c.folderControlsEnabled);
        EXPECT_TRUE(c.folderControlsEnabled ? IsBlack(*controller.m_savePath)
                                            : IsGrey(*controller.m_savePath));
        EXPECT_EQ(StoredPreference(keys::kSavePrefePath), field);
        controller.window()->close();
        m_controller.reset();
    }
}

// A hand-edited choice that is no row: neither matrix shows a choice it does not make (the save
// then starts from the folder field, left usable, and a clash fails asking for a choice), and
// the value stays as stored until a click replaces it.
TEST_F(PreferenceWindowTest, AStoredChoiceThatIsNoRowShowsNoChoice) {
    StoreSettings({{keys::kSavePrefePath, "/srv/movies"}}, 7);
    NSUserDefaults::standardUserDefaults()->setInteger(-1, keys::kFileMatrixIndex);
    ASSERT_TRUE(NSUserDefaults::standardUserDefaults()->synchronize());
    HVXPreferenceWindowController& controller = Open();
    NSMatrix* fileMatrix = FileMatrix();
    ASSERT_NE(fileMatrix, nullptr);
    EXPECT_EQ(controller.m_matrixSavePath->selectedRow(), -1);
    EXPECT_EQ(fileMatrix->selectedRow(), -1);
    EXPECT_TRUE(controller.m_savePath->isEnabled());
    EXPECT_TRUE(controller.m_browsePath->isEnabled());
    EXPECT_EQ(StoredDefaults()[keys::kSaveMatrixIndex], 7);
    EXPECT_EQ(StoredDefaults()[keys::kFileMatrixIndex], -1);

    ASSERT_TRUE(fileMatrix->clickCellAtRow(2));
    EXPECT_EQ(fileMatrix->selectedRow(), 2);
    EXPECT_EQ(StoredDefaults()[keys::kFileMatrixIndex], 2);
}

TEST_F(PreferenceWindowTest, TheMatricesStoreTheirRowsAndTheSaveOptionStoresTheFolderAgain) {
    HVXPreferenceWindowController& controller = Open();
    NSMatrix& saveMatrix = *controller.m_matrixSavePath;
    struct Click {
        size_t row;
        int64_t storedIndex;
        bool enabled;
    };
    // Row 0 starts from the last folder (tag 1), row 1 from the chosen one.
    for (const Click& click : {Click{1, 1, true}, Click{0, 0, false}, Click{1, 1, true}}) {
        SCOPED_TRACE(click.row);
        // Changed behind the store's back: only the option's own saving puts it on disk.
        const std::string folder = "/srv/before-row-" + std::to_string(click.row);
        controller.m_savePath->setStringValue(folder);
        ASSERT_TRUE(saveMatrix.clickCellAtRow(click.row));
        EXPECT_EQ(StoredDefaults()[keys::kSaveMatrixIndex], click.storedIndex);
        EXPECT_EQ(controller.m_savePath->isEnabled(), click.enabled);
        EXPECT_EQ(controller.m_browsePath->isEnabled(), click.enabled);
        EXPECT_TRUE(click.enabled ? IsBlack(*controller.m_savePath)
                                  : IsGrey(*controller.m_savePath));
        EXPECT_EQ(StoredPreference(keys::kSavePrefePath), folder);
    }

    NSMatrix* fileMatrix = FileMatrix();
    ASSERT_NE(fileMatrix, nullptr);
    for (size_t row : {2U, 0U, 1U}) {
        ASSERT_TRUE(fileMatrix->clickCellAtRow(row));
        EXPECT_EQ(StoredDefaults()[keys::kFileMatrixIndex], row);
        EXPECT_EQ(fileMatrix->selectedTag(), static_cast<int64_t>(row));
    }
}

TEST_F(PreferenceWindowTest, TypingAndTheCheckBoxAreStoredAtOnceAndClosingStoresAgain) {
    HVXPreferenceWindowController& controller = Open();
    ASSERT_TRUE(controller.m_matrixSavePath->clickCellAtRow(1));
    for (const char* typed : {"/", "/s", "/sr", ""}) {
        ASSERT_TRUE(controller.m_savePath->userEditedText(typed));
        EXPECT_EQ(StoredPreference(keys::kSavePrefePath), typed);
    }
    for (const char* stored : {"false", "true", "false"}) {
        ASSERT_TRUE(NSApp().performClick(*controller.m_autoOpen));
        EXPECT_EQ(StoredPreference(keys::kAutoOpen), stored);
    }

    // A change other code made in memory reaches the disk when the window closes.
    PreferenceData::sharedPreferenceData()->SetPreferenceItem("/left/in/memory",
                                                              keys::kSaveComboxPath);
    ASSERT_EQ(StoredPreference(keys::kSaveComboxPath), json(Home() + "/Desktop"));
    controller.window()->performClose(nullptr);
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(StoredPreference(keys::kSaveComboxPath), "/left/in/memory");
}

TEST_F(PreferenceWindowTest, OnlyAnsweringTheFolderChooserWithOKTakesTheFolder) {
    folders->AddFolder(Home(), {{"Movies", true}, {"notes.txt", false}});
    HVXPreferenceWindowController& controller = Open();
    NSWindow& window = *controller.window();
    ASSERT_TRUE(controller.m_matrixSavePath->clickCellAtRow(1));
    ASSERT_TRUE(controller.m_savePath->userEditedText("/srv/typed"));

    struct Answer {
        const char* name;
        bool ok;
        std::string field;
    };
    const std::string movies = Home() + "/Movies";
    for (const Answer& answer :
         {Answer{"cancel", false, "/srv/typed"}, Answer{"choose", true, movies}}) {
        SCOPED_TRACE(answer.name);
        ASSERT_TRUE(NSApp().performClick(*controller.m_browsePath));
        auto* panel = dynamic_cast<NSOpenPanel*>(window.attachedSheet());
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->directory(), Home());
        EXPECT_TRUE(panel->canChooseDirectories());
        // The sheet is modal for the window: a second press does not stack another chooser.
        ASSERT_TRUE(NSApp().performClick(*controller.m_browsePath));
        EXPECT_EQ(window.sheets().size(), 1U);

        ASSERT_TRUE(answer.ok ? panel->choose({movies}) : panel->cancel());
        Drain();
        EXPECT_EQ(window.attachedSheet(), nullptr);
        EXPECT_EQ(controller.m_savePath->stringValue(), answer.field);
        EXPECT_EQ(StoredPreference(keys::kSavePrefePath), answer.field);
    }
}

} // namespace
