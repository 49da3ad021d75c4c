#include "prefs/PreferenceData.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "ScopedConfigHome.h"
#include "foundation/Log.h"
#include "foundation/defaults/NSBundle.h"
#include "prefs/PreferenceKeys.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
namespace keys = PreferenceKeys;

class PreferenceDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.browser"));
        Restart();
    }
    void TearDown() override {
        PreferenceData::ResetForTesting();
        NSUserDefaults::resetStandardUserDefaults();
        NSBundle::setMainBundle(nullptr);
    }
    // As a new host process would: everything read afresh from disk.
    static PreferenceData& Restart() {
        PreferenceData::ResetForTesting();
        NSUserDefaults::resetStandardUserDefaults();
        return *PreferenceData::sharedPreferenceData();
    }
    std::string File() const { return m_home.DefaultsFolder() + "/com.example.browser.json"; }
    void WriteDefaults(const std::string& text) const {
        fs::create_directories(m_home.DefaultsFolder());
        std::ofstream(File(), std::ios::binary) << text;
    }
    json ReadDefaults() const {
        std::ifstream in(File(), std::ios::binary);
        return json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::string Desktop() const { return m_home.Home() + "/Desktop"; }

    ScopedConfigHome m_home;
};

TEST_F(PreferenceDataTest, FirstRunHoldsTheDefaultsAndWritesNothing) {
    PreferenceData& prefs = *PreferenceData::sharedPreferenceData();
    EXPECT_EQ(&prefs, PreferenceData::sharedPreferenceData());
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kTrue));
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kSavePrefePath, 0), json(Desktop()));
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kSaveComboxPath, 0), json(Desktop()));
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kSavePathArray, 1), json::array());
    EXPECT_EQ(prefs.GetIndexKeyOnUserDefaults(keys::kSaveMatrixIndex), 0);
    EXPECT_EQ(prefs.GetIndexKeyOnUserDefaults(keys::kFileMatrixIndex), 0);
    EXPECT_FALSE(prefs.GetBoolKeyOnUserDefaults("SomeFlag"));

    prefs.SetPreferenceItem("/music", keys::kSavePrefePath);
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kSavePrefePath, 0), json("/music"));
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(PreferenceDataTest, TypeCodesOutsideZeroToTwoAnswerNull) {
    PreferenceData& prefs = *PreferenceData::sharedPreferenceData();
    for (int type : {0, 1, 2}) {
        EXPECT_EQ(prefs.GetPreferenceItem(keys::kAutoOpen, type), json(keys::kTrue)) << type;
    }
    for (int type : {3, -1, 100}) {
        EXPECT_FALSE(prefs.GetPreferenceItem(keys::kAutoOpen, type)) << type;
    }
    EXPECT_FALSE(prefs.GetPreferenceItem("NoSuchKey", 0));
}

TEST_F(PreferenceDataTest, StoredDictionaryFillsGapsWithDefaults) {
    WriteDefaults(R"({"SWFHarvexPreferences": {"SWFHarvexSavePrefePath": "/saved",
        "SWFHarvexSavePathArray": ["/a", "/b"]}})");
    PreferenceData& lacking = Restart();
    EXPECT_EQ(lacking.GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kTrue));
    EXPECT_EQ(lacking.GetPreferenceItem(keys::kSavePrefePath, 0), json("/saved"));
    EXPECT_EQ(lacking.GetPreferenceItem(keys::kSaveComboxPath, 0), json(Desktop()));
    EXPECT_EQ(lacking.GetPreferenceItem(keys::kSavePathArray, 1), (json{"/a", "/b"}));

    WriteDefaults(R"({"SWFHarvexPreferences": {"SWFHarvexAutoOpen": "false"}})");
    EXPECT_EQ(Restart().GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kFalse));
    WriteDefaults(R"({"SWFHarvexPreferences": {"SWFHarvexAutoOpen": false}})");
    EXPECT_EQ(Restart().GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kFalse));

    // Values of the wrong shape would reach callers that take a path or a list of paths.
    WriteDefaults(R"({"SWFHarvexPreferences": {"SWFHarvexSavePrefePath": 5,
        "SWFHarvexSaveComboxPath": ["/x"], "SWFHarvexSavePathArray": ["/a", 3],
        "SWFHarvexAutoOpen": null}})");
    PreferenceData& odd = Restart();
    EXPECT_EQ(odd.GetPreferenceItem(keys::kSavePrefePath, 0), json(Desktop()));
    EXPECT_EQ(odd.GetPreferenceItem(keys::kSaveComboxPath, 0), json(Desktop()));
    EXPECT_EQ(odd.GetPreferenceItem(keys::kSavePathArray, 1), json::array());
    EXPECT_EQ(odd.GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kTrue));
}

TEST_F(PreferenceDataTest, SaveWritesTheWholeDictionaryAndKeepsOtherKeys) {
    WriteDefaults(R"({"SWFHarvexSaveMatrixIndex": 1, "SWFHarvexFileMatrixIndex": 2,
        "HostSetting": "kept"})");
    PreferenceData& prefs = Restart();
    EXPECT_EQ(prefs.GetIndexKeyOnUserDefaults(keys::kSaveMatrixIndex), 1);
    EXPECT_EQ(prefs.GetIndexKeyOnUserDefaults(keys::kFileMatrixIndex), 2);

    prefs.SetPreferenceItem("/combo", keys::kSaveComboxPath);
    prefs.SetPreferenceItem(json(), keys::kAutoOpen); // null: ignored
    prefs.SetPreferenceItem("ignored", "");
    EXPECT_EQ(ReadDefaults().count(keys::kPreferences), 0U);
    prefs.SetPreferenceItemAndSave(json{"/one", "/two"}, keys::kSavePathArray);

    const json stored = ReadDefaults();
    EXPECT_EQ(stored[keys::kPreferences], (json{{keys::kSavePrefePath, Desktop()},
                                                {keys::kSaveComboxPath, "/combo"},
                                                {keys::kSavePathArray, {"/one", "/two"}},
                                                {keys::kAutoOpen, keys::kTrue}}));
    EXPECT_EQ(stored["HostSetting"], "kept");
    EXPECT_EQ(stored[keys::kFileMatrixIndex], 2);

    PreferenceData& again = Restart();
    EXPECT_EQ(again.GetPreferenceItem(keys::kSaveComboxPath, 0), json("/combo"));
    EXPECT_EQ(again.GetPreferenceItem(keys::kSavePathArray, 1), (json{"/one", "/two"}));
}

TEST_F(PreferenceDataTest, WithoutUserDefaultsSavingLogsAndWritesNothing) {
    NSBundle::setMainBundle(nullptr);
    LogCapture log;
    PreferenceData& prefs = Restart();
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kTrue));
    prefs.SetPreferenceItemAndSave("/kept/in/memory", keys::kSavePrefePath);
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kSavePrefePath, 0), json("/kept/in/memory"));
    EXPECT_EQ(prefs.GetIndexKeyOnUserDefaults(keys::kSaveMatrixIndex), 0);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Save User Preference data error!"});
    EXPECT_FALSE(fs::exists(m_home.DefaultsFolder()));
}

TEST_F(PreferenceDataTest, ACorruptDefaultsFileIsSetAsideAndTheStoreStillWorks) {
    WriteDefaults("{\"SWFHarvexPreferences\": {\"SWFHarvexAutoOpen\": \"fal");
    PreferenceData& prefs = Restart();
    EXPECT_EQ(prefs.GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kTrue));
    size_t setAside = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_home.DefaultsFolder())) {
        setAside += entry.path().filename().string().find(".corrupt-") != std::string::npos;
    }
    EXPECT_EQ(setAside, 1U);

    prefs.SetPreferenceItemAndSave("false", keys::kAutoOpen);
    EXPECT_EQ(Restart().GetPreferenceItem(keys::kAutoOpen, 0), json(keys::kFalse));
}

TEST_F(PreferenceDataTest, AFailedSaveIsLoggedByTheStore) {
    const std::string blocker = m_home.Dir() / "blocker";
    std::ofstream(blocker) << "x";
    setenv("XDG_CONFIG_HOME", blocker.c_str(), 1); // a file where the folder must go
    LogCapture log;
    Restart().SetPreferenceItemAndSave("/x", keys::kSavePrefePath);
    ASSERT_EQ(log.Lines().size(), 2U);
    EXPECT_EQ(log.Lines()[1], "Save User Preference data error!");
}

} // namespace
