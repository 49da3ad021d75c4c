#include "foundation/defaults/NSUserDefaults.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ForkedChild.h"
#include "ScopedConfigHome.h"
#include "foundation/Log.h"
#include "foundation/defaults/NSBundle.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Every name in the folder other than `keep`: set-aside files and leftovers.
std::vector<std::string> OtherFiles(const std::string& folder, const std::string& keep) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != keep) {
            names.push_back(entry.path().string());
        }
    }
    return names;
}

class NSUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        NSBundle::setMainBundle(NSBundle::bundleWithIdentifier("com.example.host"));
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override {
        NSUserDefaults::resetStandardUserDefaults();
        NSBundle::setMainBundle(nullptr);
    }
    std::string File() const { return m_home.DefaultsFolder() + "/com.example.host.json"; }
    static NSUserDefaults& Fresh() {
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
        EXPECT_NE(defaults, nullptr);
        return *defaults;
    }

    ScopedConfigHome m_home;
};

TEST_F(NSUserDefaultsTest, ValuesSurviveARoundTripThroughTheDomainFile) {
    NSUserDefaults& defaults = Fresh();
    EXPECT_EQ(defaults.filePath(), File());
    EXPECT_FALSE(fs::exists(File())); // nothing is written before synchronize
    defaults.setObject(json{{"path", "/tmp"}, {"list", {"a", "b"}}}, "Dict");
    defaults.setObject("text", "Text");
    defaults.setInteger(-42, "Int");
    defaults.setBool(true, "Flag");
    defaults.setObject("gone", "Removed");
    defaults.removeObjectForKey("Removed");
    defaults.setObject("gone too", "Nulled");
    defaults.setObject(json(), "Nulled");
    ASSERT_TRUE(defaults.synchronize());

    NSUserDefaults& reread = Fresh();
    EXPECT_EQ(reread.dictionaryForKey("Dict"), (json{{"path", "/tmp"}, {"list", {"a", "b"}}}));
    EXPECT_FALSE(reread.dictionaryForKey("Text")); // a text is not a dictionary
    EXPECT_EQ(reread.objectForKey("Text"), json("text"));
    EXPECT_EQ(reread.integerForKey("Int"), -42);
    EXPECT_TRUE(reread.boolForKey("Flag"));
    EXPECT_FALSE(reread.objectForKey("Removed"));
    EXPECT_FALSE(reread.objectForKey("Nulled"));
    EXPECT_EQ(reread.integerForKey("Absent"), 0);
    EXPECT_FALSE(reread.boolForKey("Absent"));
}

TEST_F(NSUserDefaultsTest, DomainFolderAndNamesFollowTheEnvironmentAndRefuseEscapes) {
    const std::string home = m_home.Home();
    EXPECT_EQ(NSUserDefaults::defaultsFolder(), home + "/.config/swfharvex");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(NSUserDefaults::defaultsFolder(), home + "/.config/swfharvex");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(NSUserDefaults::defaultsFolder(), home + "/.config/swfharvex");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(NSUserDefaults::defaultsFolder(), home + "/.config/swfharvex");
    setenv("XDG_CONFIG_HOME", (m_home.Dir() / "elsewhere").c_str(), 1);
    EXPECT_EQ(NSUserDefaults::defaultsFolder(), m_home.Dir() / "elsewhere/swfharvex");

    LogCapture log;
    EXPECT_FALSE(NSUserDefaults::userDefaultsForDomain("../escape"));
    EXPECT_FALSE(NSUserDefaults::userDefaultsForDomain(".."));
    EXPECT_FALSE(NSUserDefaults::userDefaultsForDomain(""));
    EXPECT_EQ(log.Lines().size(), 3U);

    NSBundle::setMainBundle(NSBundle::bundleWithIdentifier(""));
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(NSUserDefaults::standardUserDefaults(), nullptr);
    NSBundle::setMainBundle(nullptr);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults(), nullptr);
}

TEST_F(NSUserDefaultsTest, IntegersAndBooleansReadLikeTheOriginalPlatform) {
    WriteText(File(), R"({"int": 42, "float": -3.9, "huge": 1e300, "tiny": -1e300,
        "unsigned": 18446744073709551615, "yes": true, "no": false,
        "numeric": "12abc", "spaced": "  -5", "word": "abc", "overflow": "99999999999999999999",
        "list": [1], "object": {"a": 1},
        "textYes": "YES", "textTrue": "true", "textNo": "no", "textZero": "000",
        "textSeven": "007", "textSigned": "-1", "zero": 0, "half": 0.5})");
    NSUserDefaults& d = Fresh();
    const std::vector<std::pair<const char*, int64_t>> integers = {
        {"int", 42},         {"float", -3},           {"huge", INT64_MAX},
        {"tiny", INT64_MIN}, {"unsigned", INT64_MAX}, {"yes", 1},
        {"no", 0},           {"numeric", 12},         {"spaced", -5},
        {"word", 0},         {"overflow", INT64_MAX}, {"list", 0},
        {"object", 0},       {"missing", 0}};
    for (const auto& [key, expected] : integers) {
        EXPECT_EQ(d.integerForKey(key), expected) << key;
    }
    const std::vector<std::pair<const char*, bool>> booleans = {
        {"yes", true},       {"no", false},       {"int", true},        {"zero", false},
        {"half", true},      {"textYes", true},   {"textTrue", true},   {"textNo", false},
        {"textZero", false}, {"textSeven", true}, {"textSigned", true}, {"word", false},
        {"list", false},     {"missing", false}};
    for (const auto& [key, expected] : booleans) {
        EXPECT_EQ(d.boolForKey(key), expected) << key;
    }
}

TEST_F(NSUserDefaultsTest, CorruptFilesAreSetAsideWithTheirBytesAndReadAsEmpty) {
    const std::string garbage = "{\"kept\": \"half a file";
    WriteText(File(), garbage);
    LogCapture log;
    NSUserDefaults& defaults = Fresh();
    EXPECT_FALSE(defaults.objectForKey("kept"));
    EXPECT_FALSE(fs::exists(File()));
    std::vector<std::string> aside = OtherFiles(m_home.DefaultsFolder(), "");
    ASSERT_EQ(aside.size(), 1U);
    EXPECT_NE(aside[0].find("com.example.host.json.corrupt-"), std::string::npos);
    EXPECT_EQ(ReadText(aside[0]), garbage);
    ASSERT_EQ(log.Lines().size(), 1U);
    EXPECT_NE(log.Lines()[0].find(aside[0]), std::string::npos) << log.Lines()[0];

    // A second bad file within the same second gets a name of its own.
    WriteText(File(), "[\"an array, not an object\"]");
    EXPECT_FALSE(Fresh().objectForKey("kept"));
    aside = OtherFiles(m_home.DefaultsFolder(), "");
    ASSERT_EQ(aside.size(), 2U);
    std::vector<std::string> contents = {ReadText(aside[0]), ReadText(aside[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents[0], "[\"an array, not an object\"]");
    EXPECT_EQ(contents[1], garbage);

    // The domain works again from empty.
    NSUserDefaults& fresh = Fresh();
    fresh.setInteger(7, "n");
    ASSERT_TRUE(fresh.synchronize());
    EXPECT_EQ(Fresh().integerForKey("n"), 7);
}

// A file nested this deep parses, but reading a value back or writing the domain would recurse
// past the stack's end: it is set aside like any unusable file. In a child, so that a crash
// fails the case instead of ending the run.
TEST_F(NSUserDefaultsTest, AFileNestedTooDeeplyIsSetAsideInsteadOfCrashing) {
    const size_t levels = 200000;
    WriteText(File(), "{\"deep\": " + std::string(levels, '[') + std::string(levels, ']') + "}");
    const int status = RunInChild([this] {
        LogCapture log;
        NSUserDefaults& defaults = Fresh();
        if (defaults.objectForKey("deep") || fs::exists(File()) ||
            OtherFiles(m_home.DefaultsFolder(), "").size() != 1 || log.Lines().size() != 1 ||
            log.Lines()[0].find("values nested deeper than 64 levels") == std::string::npos) {
            return 1;
        }
        defaults.setInteger(7, "n");
        return defaults.synchronize() ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << "-1: reading the file crashed";
}

// A file past the limit is not read into memory whole; it is kept aside like any unusable file.
TEST_F(NSUserDefaultsTest, AFileLargerThanTheLimitIsSetAsideUnread) {
    WriteText(File(), R"({"big": ")" + std::string(size_t{17} * 1024 * 1024, 'a') + "\"}");
    LogCapture log;
    NSUserDefaults& defaults = Fresh();
    EXPECT_FALSE(defaults.objectForKey("big"));
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_EQ(OtherFiles(m_home.DefaultsFolder(), "").size(), 1U);
    ASSERT_EQ(log.Lines().size(), 1U);
    EXPECT_NE(log.Lines()[0].find(File() + ": larger than 16 MiB; set aside as "),
              std::string::npos)
        << log.Lines()[0];
}

// Runs `body` in a forked child and answers how the child ended.
template <typename Body> int InChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(NSUserDefaultsTest, ACrashBeforeTheRenameLeavesTheOldContentWhole) {
    NSUserDefaults& defaults = Fresh();
    defaults.setObject("old", "value");
    ASSERT_TRUE(defaults.synchronize());
    const std::string before = ReadText(File());

    const int crashed = InChild([] {
        NSUserDefaults& child = Fresh();
        child.setObject(std::string(100000, 'n'), "value");
        NSUserDefaults::setFailpointForTesting(AtomicFile::Failpoint::KillBeforeRename);
        return child.synchronize();
    });
    ASSERT_TRUE(WIFSIGNALED(crashed));
    EXPECT_EQ(WTERMSIG(crashed), SIGKILL);
    EXPECT_EQ(ReadText(File()), before);
    EXPECT_EQ(Fresh().objectForKey("value"), json("old"));

    const int finished = InChild([] {
        NSUserDefaults& child = Fresh();
        child.setObject("new", "value");
        return child.synchronize();
    });
    ASSERT_TRUE(WIFEXITED(finished));
    EXPECT_EQ(WEXITSTATUS(finished), 0);
    EXPECT_EQ(Fresh().objectForKey("value"), json("new"));
}

TEST_F(NSUserDefaultsTest, AFailedWriteSaysSoAndLeavesTheOldFile) {
    NSUserDefaults& defaults = Fresh();
    defaults.setObject("old", "value");
    ASSERT_TRUE(defaults.synchronize());
    const std::string before = ReadText(File());
    const std::string folder = m_home.DefaultsFolder();

    // An unwritable folder. Root ignores modes, so the child gives up root first.
    fs::permissions(m_home.Dir().Path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(m_home.Dir() / ".config", fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const std::string file = File();
    const int status = InChild([&file] {
        NSUserDefaults& child = Fresh(); // read while still allowed to
        child.setObject("new", "value");
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return false;
        }
        LogCapture log;
        const bool written = child.synchronize();
        return !written && log.Lines().size() == 1 &&
               log.Lines()[0].find(file) != std::string::npos;
    });
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadText(File()), before);
    EXPECT_TRUE(OtherFiles(folder, "com.example.host.json").empty()); // no temporary left

    // Text that is not UTF-8 has no JSON form: refused, not mangled.
    LogCapture log;
    defaults.setObject(std::string("bad \xFF byte"), "value");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(log.Lines().size(), 1U);
    EXPECT_EQ(ReadText(File()), before);

    // A file where the folder should be.
    WriteText(m_home.Dir() / "blocked", "a file");
    setenv("XDG_CONFIG_HOME", (m_home.Dir() / "blocked").c_str(), 1);
    NSUserDefaults& elsewhere = Fresh();
    elsewhere.setInteger(1, "n");
    EXPECT_FALSE(elsewhere.synchronize());
    EXPECT_EQ(log.Lines().size(), 2U);
    EXPECT_EQ(ReadText(m_home.Dir() / "blocked"), "a file");
}

} // namespace
