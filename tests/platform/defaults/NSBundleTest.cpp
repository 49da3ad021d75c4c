#include "foundation/defaults/NSBundle.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "foundation/Log.h"
#include "runtime/Runtime.h"

namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A bundle folder as the build assembles it.
std::string MakeBundle(const TempDir& dir) {
    const std::string root = dir / "SWFHarvex.bundle";
    WriteText(root + "/Info.json", R"({"CFBundleIdentifier": "com.example.harvex",
        "CFBundleShortVersionString": "1.2", "NSHumanReadableCopyright": "(c) Plain",
        "Count": 3})");
    WriteText(root + "/Resources/SWFBrowser.html", "<html></html>");
    WriteText(root + "/Resources/SWFBrowser.swf", "FWS");
    WriteText(root + "/Resources/LocalStrings.strings",
              "\"Alert : OK\" = \"OK\";\n\"Main : Empty\" = \"\";\n");
    return root;
}

TEST(NSBundleTest, AnswersInfoAndResourcesByNameAndType) {
    TempDir dir;
    const std::string root = MakeBundle(dir);
    Ref<NSBundle> bundle = NSBundle::bundleWithPath(root + "/");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath(), root);
    EXPECT_EQ(bundle->bundleIdentifier(), "com.example.harvex");
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"), "1.2");
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("Count"), ""); // not a string
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("Absent"), "");

    const std::string resources = root + "/Resources/";
    EXPECT_EQ(bundle->pathForResource("SWFBrowser.html", ""), resources + "SWFBrowser.html");
    EXPECT_EQ(bundle->pathForResource("SWFBrowser", "swf"), resources + "SWFBrowser.swf");
    EXPECT_EQ(bundle->pathForResource("SWFBrowser", "icns"), "");
    EXPECT_EQ(bundle->pathForResource("", "swf"), "");
    // Names never reach outside Resources/.
    EXPECT_EQ(bundle->pathForResource("../Info", "json"), "");
    EXPECT_EQ(bundle->pathForResource("..", ""), "");
    EXPECT_EQ(bundle->pathForResource("SWFBrowser", "/../../Info.json"), "");
}

TEST(NSBundleTest, RefusesFoldersThatAreNotBundlesAndLogsACorruptInfo) {
    TempDir dir;
    LogCapture log;
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "missing.bundle"));
    fs::create_directories(dir / "empty.bundle");
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "empty.bundle"));
    EXPECT_FALSE(NSBundle::bundleWithPath(""));
    EXPECT_TRUE(log.Lines().empty());

    WriteText(dir / "broken.bundle/Info.json", "{\"CFBundleIdentifier\": ");
    WriteText(dir / "list.bundle/Info.json", "[1, 2]");
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "broken.bundle"));
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "list.bundle"));
    ASSERT_EQ(log.Lines().size(), 2U);
    EXPECT_NE(log.Lines()[0].find(dir / "broken.bundle/Info.json"), std::string::npos);
    EXPECT_NE(log.Lines()[1].find("not a JSON object"), std::string::npos);
}

// A crafted Info.json costs no more than its limits: nested values past them would recurse once
// per level when copied, and a huge file would be read whole.
TEST(NSBundleTest, AnInfoPastItsLimitsIsRefusedWithItsPathAndTheReason) {
    TempDir dir;
    const struct {
        const char* bundle;
        std::string info;
        std::string reason;
    } table[] = {
        {"deep.bundle",
         R"({"CFBundleIdentifier": "x", "Deep": )" + std::string(100000, '[') +
             std::string(100000, ']') + "}",
         "values nested deeper than 32 levels"},
        {"large.bundle",
         R"({"CFBundleIdentifier": "x", "Large": ")" + std::string(size_t{2} * 1024 * 1024, 'a') +
             "\"}",
         "larger than 1 MiB"},
    };
    for (const auto& row : table) {
        WriteText(dir / (std::string(row.bundle) + "/Info.json"), row.info);
        LogCapture log;
        EXPECT_FALSE(NSBundle::bundleWithPath(dir / row.bundle)) << row.bundle;
        ASSERT_EQ(log.Lines().size(), 1U) << row.bundle;
        EXPECT_NE(
            log.Lines()[0].find(dir / (std::string(row.bundle) + "/Info.json: " + row.reason)),
            std::string::npos)
            << log.Lines()[0];
    }
}

TEST(NSBundleTest, LooksUpStringTablesOnceAndFallsBackToValueThenKey) {
    TempDir dir;
    const std::string root = MakeBundle(dir);
    Ref<NSBundle> bundle = NSBundle::bundleWithPath(root);
    ASSERT_TRUE(bundle);

    EXPECT_EQ(bundle->localizedStringForKey("Alert : OK", "", "LocalStrings"), "OK");
    EXPECT_EQ(bundle->localizedStringForKey("Main : Empty", "x", "LocalStrings"), "");
    EXPECT_EQ(bundle->localizedStringForKey("Alert : Cancel", "", "LocalStrings"),
              "Alert : Cancel");
    EXPECT_EQ(bundle->localizedStringForKey("Alert : Cancel", "Cancel", "LocalStrings"), "Cancel");
    EXPECT_EQ(bundle->localizedStringForKey("Alert : OK", "", "NoSuchTable"), "Alert : OK");
    EXPECT_EQ(bundle->localizedStringForKey("Alert : OK", "", "../Resources/LocalStrings"),
              "Alert : OK");

    // Read once: a change on disk is not seen by a bundle that has the table already.
    WriteText(root + "/Resources/LocalStrings.strings", "\"Alert : OK\" = \"Changed\";");
    EXPECT_EQ(bundle->localizedStringForKey("Alert : OK", "", "LocalStrings"), "OK");

    // A malformed table keeps what came before the fault, with one log line.
    WriteText(root + "/Resources/Broken.strings", "\"a\" = \"A\";\n\"b\" = ");
    LogCapture log;
    EXPECT_EQ(bundle->localizedStringForKey("a", "", "Broken"), "A");
    EXPECT_EQ(bundle->localizedStringForKey("b", "", "Broken"), "b");
    EXPECT_EQ(log.Lines().size(), 1U);
}

TEST(NSBundleTest, LocalizedInfoPrefersInfoPlistStrings) {
    TempDir dir;
    const std::string root = MakeBundle(dir);
    Ref<NSBundle> plain = NSBundle::bundleWithPath(root);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->localizedInfoDictionaryValue("NSHumanReadableCopyright"), "(c) Plain");

    WriteText(root + "/Resources/InfoPlist.strings",
              "\"NSHumanReadableCopyright\" = \"\\U00a9 Localised\";");
    Ref<NSBundle> localised = NSBundle::bundleWithPath(root);
    ASSERT_TRUE(localised);
    EXPECT_EQ(localised->localizedInfoDictionaryValue("NSHumanReadableCopyright"),
              "\xC2\xA9 Localised");
    EXPECT_EQ(localised->localizedInfoDictionaryValue("CFBundleShortVersionString"), "1.2");
}

TEST(NSBundleTest, MainBundleAndTheBundleAClassCameFrom) {
    TempDir dir;
    EXPECT_EQ(NSBundle::mainBundle(), nullptr);
    NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.host"));
    NSBundle* host = NSBundle::mainBundle();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->bundleIdentifier(), "com.example.host");
    EXPECT_EQ(host->bundlePath(), "");
    EXPECT_EQ(host->pathForResource("SWFBrowser", "swf"), "");
    EXPECT_EQ(host->localizedStringForKey("k", "", "LocalStrings"), "k");

    Class pluginClass = objc_registerClass("BundleTestPluginClass", NSObject::RootClass());
    Class hostClass = objc_registerClass("BundleTestHostClass", NSObject::RootClass());
    EXPECT_EQ(NSBundle::bundleForClass(pluginClass), host);
    EXPECT_EQ(NSBundle::bundleForClass(nullptr), host);
    {
        Ref<NSBundle> plugin = NSBundle::bundleWithPath(MakeBundle(dir));
        ASSERT_TRUE(plugin);
        plugin->registerClass(pluginClass);
        plugin->registerClass(pluginClass); // twice is harmless
    }
    // The registration keeps the bundle alive after its creator let go.
    NSBundle* plugin = NSBundle::bundleForClass(pluginClass);
    ASSERT_NE(plugin, host);
    EXPECT_EQ(plugin->bundleIdentifier(), "com.example.harvex");

    // A `bundle` pointer no bundle put there is not taken for one.
    static const int stray = 0;
    hostClass->bundle = &stray;
    EXPECT_EQ(NSBundle::bundleForClass(hostClass), host);

    EXPECT_EQ(NSClassFromString("NSBundle"), NSBundle::ClassObject());
    objc_disposeClass(pluginClass);
    objc_disposeClass(hostClass);
    NSBundle::setMainBundle(nullptr);
}

} // namespace
