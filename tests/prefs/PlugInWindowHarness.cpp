#include "PlugInWindowHarness.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "ReadWholeFile.h"
#include "appkit/NSOpenPanel.h"
#include "appkit/NSWorkspace.h"
#include "foundation/RunLoop.h"
#include "foundation/defaults/NSUserDefaults.h"
#include "host/HVXMenuController.h"
#include "host/HVXPlugIn.h"
#include "prefs/HVXAboutWindowController.h"
#include "prefs/HVXPreferenceWindowController.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"

namespace fs = std::filesystem;

void PlugInWindowHarness::SetUp() {
    RunLoop::Main();
    RegisterPlugInClasses();
    // A folder name with spaces and an accented letter, as users' folders have.
    const fs::path copy = m_home.Dir().Path() / "Plug ins \xC3\xA9" / "SWFHarvex.bundle";
    fs::create_directories(copy.parent_path());
    fs::copy(HVX_BUILT_BUNDLE, copy, fs::copy_options::recursive);
    bundlePath = copy.string();

    nlohmann::json info = nlohmann::json::parse(ReadWholeFile((copy / "Info.json").string()));
    info["CFBundleShortVersionString"] = kVersion;
    info["NSHumanReadableCopyright"] = kCopyright;
    std::ofstream(copy / "Info.json", std::ios::trunc) << info.dump(2);
    // Only the copyright is translated: a translated version must not be shown.
    std::ofstream(copy / "Resources" / "InfoPlist.strings", std::ios::trunc)
        << "\"NSHumanReadableCopyright\" = \"" << kTranslatedCopyright << "\";\n"
        << "\"CFBundleShortVersionString\" = \"translated\";\n";

    Ref<NSBundle> loaded = NSBundle::bundleWithPath(bundlePath);
    ASSERT_TRUE(loaded) << bundlePath;
    bundle = loaded.get();
    for (Class cls :
         {HVXPreferenceWindowController::ClassObject(), HVXAboutWindowController::ClassObject(),
          HVXMenuController::ClassObject(), HVXPlugIn::ClassObject()}) {
        bundle->registerClass(cls); // keeps the bundle for the process's life
    }
    host = std::make_unique<HostApplication>();
    NSUserDefaults::resetStandardUserDefaults();
    PreferenceData::ResetForTesting();

    auto recording = std::make_unique<RecordingWorkspaceBackend>();
    workspace = recording.get();
    m_previousWorkspace = NSWorkspace::sharedWorkspace().setBackend(std::move(recording));
    auto scripted = std::make_unique<ScriptedFolderBackend>();
    folders = scripted.get();
    m_previousFolders = NSOpenPanel::setBackend(std::move(scripted));
}

void PlugInWindowHarness::TearDown() {
    NSOpenPanel::setBackend(std::move(m_previousFolders));
    NSWorkspace::sharedWorkspace().setBackend(std::move(m_previousWorkspace));
    host.reset();
    PreferenceData::ResetForTesting();
    NSUserDefaults::resetStandardUserDefaults();
}

void PlugInWindowHarness::SetLocalString(const std::string& key, const std::string& value) const {
    std::ofstream(fs::path(bundlePath) / "Resources" / "LocalStrings.strings", std::ios::app)
        << "\n\"" << key << "\" = \"" << value << "\";\n";
}

void PlugInWindowHarness::RemoveResource(const std::string& name) const {
    ASSERT_TRUE(fs::remove(fs::path(bundlePath) / "Resources" / name)) << name;
}

nlohmann::json PlugInWindowHarness::StoredDefaults() const {
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    const std::string text = defaults == nullptr ? "" : ReadWholeFile(defaults->filePath());
    return text.empty() ? nlohmann::json::object() : nlohmann::json::parse(text);
}

nlohmann::json PlugInWindowHarness::StoredPreference(const std::string& key) const {
    const nlohmann::json stored = StoredDefaults();
    const auto settings = stored.find(PreferenceKeys::kPreferences);
    if (settings == stored.end() || !settings->contains(key)) {
        return nullptr;
    }
    return (*settings)[key];
}

void PlugInWindowHarness::Drain() {
    bool reached = false;
    RunLoop::Main().Post([&reached] { reached = true; });
    ASSERT_TRUE(RunLoop::Main().RunUntil([&reached] { return reached; }, std::chrono::seconds(5)));
}
