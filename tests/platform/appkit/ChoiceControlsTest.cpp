#include <fstream>

#include <gtest/gtest.h>

#include "ScopedConfigHome.h"
#include "appkit/NSApplication.h"
#include "appkit/NSButton.h"
#include "appkit/NSMatrix.h"
#include "appkit/NSTextField.h"
#include "appkit/NibControlDecoders.h"
#include "appkit/NibLoader.h"
#include "foundation/Log.h"
#include "foundation/defaults/NSBundle.h"
#include "foundation/defaults/NSUserDefaults.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

constexpr const char* kSaveKey = "SWFHarvexSaveMatrixIndex";
constexpr const char* kFileKey = "SWFHarvexFileMatrixIndex";

// An action target that records what the sender and the user defaults show while the action
// runs, which is what a preferences controller acts on.
class ChoiceTarget : public NSObject {
public:
    ChoiceTarget() : NSObject(ClassObject()) {}
    static Class ClassObject();
    struct Seen {
        int64_t senderValue; // a button's state, a matrix's selected tag
        int64_t stored;      // the bound key's stored integer
    };
    std::vector<Seen> seen;
    std::string key = kSaveKey;
};

void Chose(id self, SEL, id sender) {
    auto* target = static_cast<ChoiceTarget*>(self);
    int64_t value = 0;
    if (auto* button = dynamic_cast<NSButton*>(sender)) {
        value = button->state();
    } else if (auto* matrix = dynamic_cast<NSMatrix*>(sender)) {
        value = matrix->selectedTag();
    }
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    target->seen.push_back({value, defaults ? defaults->integerForKey(target->key) : -99});
}

Class ChoiceTarget::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<ChoiceTarget>("ChoiceTarget", NSObject::RootClass());
        class_defineMethod(made, "chose:", &Chose);
        return made;
    }();
    return cls;
}

// The preferences window's save matrix: row 0 has tag 1, row 1 tag 0.
Ref<NSMatrix> SaveMatrix() {
    Ref<NSMatrix> matrix = MakeRef<NSMatrix>();
    matrix->addCell({"Save to the folder", 1});
    matrix->addCell({"Ask each time", 0});
    return matrix;
}

// Standard user defaults in a folder of the test's own, read afresh by every test.
class ChoiceControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.choices"));
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override {
        NSUserDefaults::resetStandardUserDefaults();
        NSBundle::setMainBundle(nullptr);
    }
    static NSUserDefaults& Defaults() { return *NSUserDefaults::standardUserDefaults(); }
    template <typename Control> void Wire(Control& control) {
        control.setTarget(target.get());
        control.setAction(sel_registerName("chose:"));
    }
    Outcome<NibContents> Load(const std::string& objects) {
        RegisterControlNibDecoders();
        std::string path = m_home.Dir() / "Preferences.json";
        std::ofstream(path) << R"({"objects": [)" << objects << "]}";
        return loadNibFile(path, nullptr);
    }

    ScopedConfigHome m_home;
    Ref<ChoiceTarget> target = MakeRef<ChoiceTarget>();
};

TEST_F(ChoiceControlsTest, AClickChangesAButtonsStateBeforeItsActionAndWritesTheBinding) {
    struct Case {
        NSButtonType type;
        int64_t before;
        int64_t after;
    };
    for (const Case& c : {Case{NSButtonType::Switch, NSOffState, NSOnState},
                          Case{NSButtonType::Switch, NSOnState, NSOffState},
                          Case{NSButtonType::Radio, NSOnState, NSOnState},
                          Case{NSButtonType::MomentaryPushIn, NSOffState, NSOffState}}) {
        Ref<NSButton> button = MakeRef<NSButton>();
        button->setButtonType(c.type);
        if (c.type != NSButtonType::MomentaryPushIn) {
            ASSERT_TRUE(button->bindToUserDefaults("value", kSaveKey));
        }
        button->setState(c.before);
        Wire(*button);
        target->seen.clear();
        ASSERT_TRUE(NSApp().performClick(*button));
        ASSERT_EQ(target->seen.size(), 1U);
        EXPECT_EQ(target->seen[0].senderValue, c.after) << NSButtonTypeName(c.type);
        if (c.type != NSButtonType::MomentaryPushIn) {
            EXPECT_EQ(target->seen[0].stored, c.after) << NSButtonTypeName(c.type);
        }
        EXPECT_EQ(button->Describe()["state"], c.after);
    }

    Ref<NSButton> disabled = MakeRef<NSButton>();
    disabled->setButtonType(NSButtonType::Switch);
    disabled->setEnabled(false);
    EXPECT_FALSE(NSApp().performClick(*disabled));
    EXPECT_EQ(disabled->state(), NSOffState);
    EXPECT_FALSE(MakeRef<NSButton>()->bindToUserDefaults("value", kSaveKey)); // a push button
}

TEST_F(ChoiceControlsTest, AMatrixClickSelectsStoresTheRowThenSendsTheAction) {
    Ref<NSMatrix> matrix = SaveMatrix();
    ASSERT_TRUE(matrix->bindToUserDefaults("selectedIndex", kSaveKey));
    Wire(*matrix);
    int changes = 0;
    matrix->AddObserver([&changes] { ++changes; });
    std::optional<NSEvent> before = NSApp().currentEvent();

    EXPECT_TRUE(matrix->clickCellAtRow(1));
    ASSERT_EQ(target->seen.size(), 1U);
    EXPECT_EQ(target->seen[0].senderValue, 0); // row 1's tag
    EXPECT_EQ(target->seen[0].stored, 1);      // the row, already stored
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(NSApp().currentEvent().has_value());
    EXPECT_NE(before ? before->eventNumber : 0, NSApp().currentEvent()->eventNumber);
    // On disk too: a fresh read sees it.
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(Defaults().integerForKey(kSaveKey), 1);

    // Programmatic selection neither sends nor stores.
    EXPECT_TRUE(matrix->selectCellWithTag(1));
    EXPECT_FALSE(matrix->selectCellWithTag(5));
    EXPECT_EQ(matrix->selectedRow(), 0);
    EXPECT_EQ(Defaults().integerForKey(kSaveKey), 1);

    matrix->setCellEnabled(1, false);
    EXPECT_FALSE(matrix->clickCellAtRow(1));
    EXPECT_FALSE(matrix->clickCellAtRow(2));
    matrix->setCellEnabled(1, true);
    matrix->setEnabled(false);
    EXPECT_FALSE(matrix->clickCellAtRow(1));
    EXPECT_EQ(matrix->selectedRow(), 0);
    EXPECT_EQ(target->seen.size(), 1U);

    json description = matrix->Describe();
    EXPECT_EQ(description["class"], "NSMatrix");
    EXPECT_EQ(description["cells"][1],
              (json{{"title", "Ask each time"}, {"tag", 0}, {"enabled", true}}));
    EXPECT_EQ(description["selectedRow"], 0);
    EXPECT_EQ(description["selectedTag"], 1);
    EXPECT_EQ(description["bindings"], (json{{"selectedIndex", kSaveKey}}));
    EXPECT_EQ(description["action"], "chose:");
    EXPECT_EQ(description["enabled"], false);

    Ref<NSMatrix> empty = MakeRef<NSMatrix>();
    EXPECT_EQ(empty->selectedRow(), -1);
    EXPECT_EQ(empty->selectedTag(), -1);
}

TEST_F(ChoiceControlsTest, ABoundMatrixTakesTheStoredRowOnLoad) {
    struct Case {
        json stored; // null: absent
        int64_t row;
    };
    for (const Case& c :
         {Case{json(), 0}, Case{2, 2}, Case{1, 1}, Case{"2", 2}, Case{3, -1}, Case{-1, -1}}) {
        NSUserDefaults::resetStandardUserDefaults();
        Defaults().setObject(c.stored, kFileKey);
        Outcome<NibContents> result = Load(R"({"class": "NSMatrix", "id": "file", "properties": {
            "cells": [{"title": "Numbered name", "tag": 0}, {"title": "Replace", "tag": 1},
                      {"title": "Ask", "tag": 2}],
            "selectedTag": 1,
            "bindings": {"selectedIndex": {"userDefaultsKey": "SWFHarvexFileMatrixIndex"}}}})");
        ASSERT_TRUE(result.ok()) << result.failure().message();
        auto* matrix = dynamic_cast<NSMatrix*>(result.value().objectWithId("file"));
        EXPECT_EQ(matrix->selectedRow(), c.row) << c.stored;
        // No row: nothing shown as chosen, and nothing written over what is stored.
        if (c.row < 0) {
            EXPECT_EQ(matrix->selectedTag(), -1);
            EXPECT_EQ(matrix->Describe()["selectedRow"], -1);
            EXPECT_EQ(Defaults().objectForKey(kFileKey).value_or(json()), c.stored);
        }
    }
}

TEST_F(ChoiceControlsTest, WithoutUserDefaultsABindingIsInertAndSaysSoOnce) {
    NSBundle::setMainBundle(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    LogCapture log;
    Ref<NSMatrix> matrix = SaveMatrix();
    matrix->selectCellAtRow(1);
    ASSERT_TRUE(matrix->bindToUserDefaults("selectedIndex", kSaveKey));
    EXPECT_EQ(matrix->selectedRow(), 1); // nothing stored to take
    Wire(*matrix);
    EXPECT_TRUE(matrix->clickCellAtRow(0));
    EXPECT_TRUE(matrix->clickCellAtRow(1));
    EXPECT_EQ(target->seen.size(), 2U);
    EXPECT_EQ(log.Lines().size(), 1U);
}

TEST_F(ChoiceControlsTest, InterfaceFilesDescribeTheNewControlProperties) {
    Defaults().setInteger(1, "Flag");
    Outcome<NibContents> result = Load(R"(
        {"class": "NSButton", "id": "check", "properties": {"title": "Remember",
            "buttonType": "switch", "state": 0,
            "bindings": {"value": {"userDefaultsKey": "Flag"}}}},
        {"class": "NSButton", "id": "radio", "properties": {"buttonType": "radio", "state": 1}},
        {"class": "NSMatrix", "id": "save", "properties": {"enabled": false, "action": "chose:",
            "cells": [{"title": "Folder", "tag": 1}, {"title": "Ask", "tag": 0, "enabled": false}],
            "selectedTag": 0}},
        {"class": "NSTextField", "id": "about", "properties": {"selectable": true,
            "enabled": false, "allowsEditingTextAttributes": true, "editable": false}})");
    ASSERT_TRUE(result.ok()) << result.failure().message();
    auto* check = dynamic_cast<NSButton*>(result.value().objectWithId("check"));
    EXPECT_EQ(check->buttonType(), NSButtonType::Switch);
    EXPECT_EQ(check->state(), NSOnState); // the stored value wins over the file's
    EXPECT_EQ(check->Describe()["bindings"], (json{{"value", "Flag"}}));
    auto* radio = dynamic_cast<NSButton*>(result.value().objectWithId("radio"));
    EXPECT_EQ(radio->Describe()["buttonType"], "radio");
    EXPECT_EQ(radio->state(), NSOnState);
    auto* save = dynamic_cast<NSMatrix*>(result.value().objectWithId("save"));
    EXPECT_EQ(save->cells(), (std::vector<NSMatrixCell>{{"Folder", 1, true}, {"Ask", 0, false}}));
    EXPECT_EQ(save->selectedRow(), 1);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(save->Describe()["action"], "chose:");
    auto* about = dynamic_cast<NSTextField*>(result.value().objectWithId("about"));
    EXPECT_TRUE(about->isSelectable());
    EXPECT_FALSE(about->isEnabled());
    EXPECT_TRUE(about->allowsEditingTextAttributes());

    struct Bad {
        const char* objects;
        const char* reason;
    };
    for (const Bad& bad : {
             Bad{R"({"class": "NSButton", "id": "b", "properties": {"buttonType": 1}})",
                 "'buttonType' has the wrong type"},
             Bad{R"({"class": "NSButton", "id": "b", "properties": {"buttonType": "toggle"}})",
                 "buttonType"},
             Bad{R"({"class": "NSButton", "id": "b", "properties": {"state": 2}})", "state"},
             Bad{R"({"class": "NSButton", "id": "b", "properties": {"state": "on"}})",
                 "'state' has the wrong type"},
             Bad{R"({"class": "NSTextField", "id": "t", "properties": {"selectable": "yes"}})",
                 "'selectable' has the wrong type"},
             Bad{R"({"class": "NSTextField", "id": "t",
                     "properties": {"allowsEditingTextAttributes": 1}})",
                 "'allowsEditingTextAttributes' has the wrong type"},
             Bad{R"({"class": "NSMatrix", "id": "m", "properties": {"cells": [{"tag": "1"}]}})",
                 "'tag' has the wrong type"},
             Bad{R"({"class": "NSMatrix", "id": "m", "properties": {"cells": {}}})", "cells"},
             Bad{R"({"class": "NSMatrix", "id": "m",
                     "properties": {"cells": [{"tag": 1}], "selectedTag": 2}})",
                 "selectedTag"},
             Bad{R"({"class": "NSMatrix", "id": "m",
                     "properties": {"bindings": {"selectedIndex": "Key"}}})",
                 "userDefaultsKey"},
             Bad{R"({"class": "NSMatrix", "id": "m",
                     "properties": {"bindings": {"value": {"userDefaultsKey": "Key"}}}})",
                 "no binding 'value'"},
             Bad{R"({"class": "NSButton", "id": "b",
                     "properties": {"bindings": {"value": {"userDefaultsKey": "Key"}}}})",
                 "no binding 'value'"},
         }) {
        Outcome<NibContents> failed = Load(bad.objects);
        ASSERT_FALSE(failed.ok()) << bad.objects;
        EXPECT_NE(failed.failure().why.find(bad.reason), std::string::npos)
            << failed.failure().message();
    }
}

} // namespace
