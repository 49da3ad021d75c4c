#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScopedConfigHome.h"
#include "foundation/Log.h"
#include "foundation/defaults/NSBundle.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"

namespace {

namespace keys = PreferenceKeys;

PreferenceData& Restart() {
    PreferenceData::ResetForTesting();
    NSUserDefaults::resetStandardUserDefaults();
    return *PreferenceData::sharedPreferenceData();
}

TEST(IndexSettingTest, TheTwoChoicesAreWrittenAtOnceBesideTheSettings) {
    ScopedConfigHome home;
    NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.browser"));
    PreferenceData& prefs = Restart();
    prefs.SetPreferenceItemAndSave("/srv/kept", keys::kSavePrefePath);
    prefs.SetIndexKeyOnUserDefaults(keys::kSaveMatrixIndex, 1);
    prefs.SetIndexKeyOnUserDefaults(keys::kFileMatrixIndex, 2);

    PreferenceData& again = Restart(); // a new process: read from disk
    EXPECT_EQ(again.GetIndexKeyOnUserDefaults(keys::kSaveMatrixIndex), 1);
    EXPECT_EQ(again.GetIndexKeyOnUserDefaults(keys::kFileMatrixIndex), 2);
    EXPECT_EQ(again.GetPreferenceItem(keys::kSavePrefePath, 0), nlohmann::json("/srv/kept"));

    // Without user defaults nothing is written, and the loss is logged rather than silent.
    NSBundle::setMainBundle(nullptr);
    LogCapture log;
    Restart().SetIndexKeyOnUserDefaults(keys::kFileMatrixIndex, 0);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Save User Preference data error!"});
    NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.browser"));
    EXPECT_EQ(Restart().GetIndexKeyOnUserDefaults(keys::kFileMatrixIndex), 2);

    PreferenceData::ResetForTesting();
    NSUserDefaults::resetStandardUserDefaults();
    NSBundle::setMainBundle(nullptr);
}

} // namespace
