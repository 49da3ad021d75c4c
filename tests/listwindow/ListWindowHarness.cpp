#include "ListWindowHarness.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ReadWholeFile.h"
#include "SwfWriter.h"
#include "foundation/FileManager.h"
#include "foundation/RunLoop.h"
#include "foundation/defaults/NSUserDefaults.h"
#include "host/HVXMenuController.h"
#include "host/HVXPlugIn.h"
#include "host/SafariMethods.h"
#include "listwindow/URLEscaping.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"

namespace {

constexpr const char* kBundleFolder = "Plug ins \xC3\xA9";

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::nullopt : std::optional<std::string>(value);
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

// A copy of the built bundle whose string table places the companion at `dissectaPath`.
std::string CopyBundle(const std::filesystem::path& into, const std::string& dissectaPath) {
    std::filesystem::copy(HVX_BUILT_BUNDLE, into, std::filesystem::copy_options::recursive);
    const std::filesystem::path strings = into / "Resources" / "LocalStrings.strings";
    std::istringstream table(ReadWholeFile(strings.string()));
    std::string patched;
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with("\"Menu : DissectaApp Path\"")) {
            line = "\"Menu : DissectaApp Path\" = \"" + dissectaPath + "\";";
        }
        patched += line + "\n";
    }
    std::ofstream(strings, std::ios::trunc) << patched;
    return into.string();
}

} // namespace

void ListWindowHarness::SetUp() {
    RunLoop::Main();
    m_previousHome = Environment("HOME");
    m_previousConfig = Environment("XDG_CONFIG_HOME");
    setenv("HOME", home.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);

    RegisterPlugInClasses();
    // A folder name with spaces and an accented letter, as users' folders have.
    std::filesystem::create_directories(home.Path() / kBundleFolder);
    bundlePath = CopyBundle(home.Path() / kBundleFolder / "SWFHarvex.bundle", DissectaPath());
    Ref<NSBundle> bundle = NSBundle::bundleWithPath(bundlePath);
    ASSERT_TRUE(bundle) << bundlePath;
    for (Class cls : {HVXSWFListWindowController::ClassObject(), SwfWebView::ClassObject(),
                      AdWebView::ClassObject(), HVXBridgedWebView::ClassObject(),
                      HVXMenuController::ClassObject(), HVXPlugIn::ClassObject()}) {
        bundle->registerClass(cls);
    }
    WebView::SetBackendFactory([](WebView&) { return std::make_unique<ScriptedTestPage>(); });
    host = std::make_unique<HostApplication>();
    NSUserDefaults::resetStandardUserDefaults();
    PreferenceData::ResetForTesting();
}

void ListWindowHarness::TearDown() {
    HVXSWFListWindowController::ReleaseSWFListWindowController();
    WebView::SetBackendFactory(nullptr);
    host.reset();
    PreferenceData::ResetForTesting();
    NSUserDefaults::resetStandardUserDefaults();
    Restore("HOME", m_previousHome);
    Restore("XDG_CONFIG_HOME", m_previousConfig);
}

void ListWindowHarness::InstallDissecta() const {
    std::filesystem::create_directories(DissectaPath());
}

void ListWindowHarness::StoreSettings(const nlohmann::json& preferences,
                                      std::optional<int64_t> saveMatrixIndex) {
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    ASSERT_NE(defaults, nullptr);
    defaults->setObject(preferences, PreferenceKeys::kPreferences);
    if (saveMatrixIndex) {
        defaults->setInteger(*saveMatrixIndex, PreferenceKeys::kSaveMatrixIndex);
    }
    ASSERT_TRUE(defaults->synchronize());
    PreferenceData::ResetForTesting();
}

void ListWindowHarness::Catch(const std::string& name, const std::vector<uint8_t>& bytes) {
    FileManager::defaultManager().createDirectoryAtPath(m_downSWFPath, true);
    SwfWriter::WriteFile(m_downSWFPath + "/" + name, bytes);
    m_arraySWFUrl.push_back({name, "http://127.0.0.1/" + name});
}

std::vector<uint8_t> ListWindowHarness::Movie(double rate, uint16_t frames, uint8_t version,
                                              bool compressed, size_t padding) {
    constexpr uint16_t kUnusedTag = 1000;
    SwfWriter writer;
    writer.Version(version)
        .FrameSizePixels(550, 400)
        .FrameRate(static_cast<uint16_t>(rate * 256))
        .FrameCount(frames)
        .BackgroundColor(20, 20, 20);
    if (padding > 0) {
        writer.Tag(kUnusedTag, std::vector<uint8_t>(padding, 0x5A));
    }
    writer.ShowFrame().End();
    return compressed ? writer.Cws() : writer.Fws();
}

HVXSWFListWindowController& ListWindowHarness::OpenWindow() {
    HVXSWFListWindowController::ReleaseSWFListWindowController();
    HVXSWFListWindowController* controller =
        HVXSWFListWindowController::sharedSWFListWindowController();
    controller->showWindow(nullptr);
    EXPECT_NE(controller->window(), nullptr) << controller->loadError()->message();
    return *controller;
}

ScriptedTestPage& ListWindowHarness::PageOf(HVXBridgedWebView* view) {
    auto* page = view == nullptr ? nullptr : dynamic_cast<ScriptedTestPage*>(view->backend());
    if (page == nullptr) {
        throw std::logic_error("the view has no scripted page");
    }
    return *page;
}

std::vector<ScriptedTestPage::Call>
ListWindowHarness::NewPageCalls(HVXSWFListWindowController& controller) {
    const ScriptedTestPage& page = PageOf(controller.swfWebview.get());
    if (&page != m_seenPage) {
        m_seenPage = &page;
        m_seenCalls = 0;
    }
    const auto& calls = page.calls();
    std::vector<ScriptedTestPage::Call> fresh(calls.begin() + static_cast<ptrdiff_t>(m_seenCalls),
                                              calls.end());
    m_seenCalls = calls.size();
    return fresh;
}

void ListWindowHarness::PageBecomesReady(HVXSWFListWindowController& controller) {
    ASSERT_TRUE(PageOf(controller.swfWebview.get()).SetProperty("cocoaApp", "bSWFReady", true));
    ASSERT_TRUE(
        RunLoop::Main().RunUntil([&] { return !controller.timer; }, std::chrono::seconds(5)));
}

std::string ListWindowHarness::PagePath(const std::string& name) const {
    std::string path = m_downSWFPath + "/" + name;
    return convertString(path);
}
