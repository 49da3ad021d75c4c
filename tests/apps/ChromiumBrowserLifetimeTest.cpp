#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "ChromiumCaptureFixture.h"
#include "browser/chromium/BrowserProfile.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Long enough for any of these events on a loaded machine; they come in seconds.
constexpr auto kGenerous = 60s;

// Every file and folder under `root`, as paths relative to it.
std::vector<std::string> Everything(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        found.push_back(fs::relative(entry.path(), root).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// However the command ends (in order, or interrupted), none of its browser's processes is left
// once it has returned: not a renderer busy in a loop, not a zombie. Killed outright, it cannot
// take them along, but they end by themselves.
TEST_F(ChromiumCaptureTest, TheBrowserNeverOutlivesItsCommand) {
    Page("busy.html", "<embed src=/m/busy.swf><script async src=/hang></script>"
                      "<script>setTimeout(() => { for (;;) {} }, 0);</script>");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        const int hangsBefore = hangs;
        const BrowserWatch browser(Tmp().string());
        CommandChild command({"capture", "--engine", "chromium", PageURL("busy.html")});
        ASSERT_TRUE(WaitFor([&] { return hangs > hangsBefore; }, kGenerous))
            << "the page never started loading";
        command.Signal(signal);
        const int status = command.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_GT(browser.Seen(), 0U);
        if (signal == SIGKILL) {
            EXPECT_TRUE(WaitFor([&] { return browser.Left().empty(); }, kGenerous))
                << ::testing::PrintToString(browser.Left());
        } else {
            EXPECT_EQ(browser.Left(), std::vector<std::string>()) << "signal " << signal;
        }
    }
}

// The desktop (`swfharvex` with no command) takes its browser along when it is stopped.
TEST_F(ChromiumCaptureTest, TheDesktopTakesItsBrowserAlongWhenItStops) {
    Page("busy.html", "<embed src=/m/busy.swf><script async src=/hang></script>"
                      "<script>setTimeout(() => { for (;;) {} }, 0);</script>");
    const BrowserWatch browser(Tmp().string());
    // Without --port it takes the first free port from its default on.
    CommandChild desktop({"--no-open", PageURL("busy.html")});
    ASSERT_TRUE(WaitFor([&] { return hangs > 0; }, kGenerous)) << "the page never started loading";
    desktop.Signal(SIGINT);
    const int status = desktop.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_GT(browser.Seen(), 0U);
    EXPECT_EQ(browser.Left(), std::vector<std::string>());
    EXPECT_TRUE(Profiles().empty());
}

// The browser writes its settings, caches and crash reports into its profile, which goes with
// it: the home folder holds only what the command itself writes there.
TEST_F(ChromiumCaptureTest, NothingTheBrowserWritesLandsOutsideItsProfile) {
    Page("plain.html",
         "<embed src=/m/plain.swf><iframe src='" + OtherSite("/p/ad.html") + "'></iframe>");
    Page("ad.html", "<embed src=/m/ad.swf>");
    ASSERT_EQ(Capture({PageURL("plain.html")}, Chromium(1, 60)), CaptureCommand::kAllLoaded) << err;
    // The command's own: the movies and their mirror.
    std::vector<std::string> written = Everything(home.Path());
    std::erase_if(written, [](const std::string& path) {
        return path.starts_with("Documents/SWFHarvexData/.mirror/");
    });
    EXPECT_EQ(written, (std::vector<std::string>{
                           "Documents", "Documents/.SWFHarvexData.lock", "Documents/SWFHarvexData",
                           "Documents/SWFHarvexData/.mirror", "Documents/SWFHarvexData/ad.swf",
                           "Documents/SWFHarvexData/plain.swf"}));
    EXPECT_EQ(Everything(Tmp()), std::vector<std::string>());
}

// A profile that a killed run left behind is removed when the next run starts, never one that a
// live run still uses (however old the one or the other).
TEST_F(ChromiumCaptureTest, ProfilesLeftByAKilledRunAreRemovedAtTheNextStartButNeverOneInUse) {
    Page("slow.html", "<embed src=/m/slow.swf><script async src=/hang></script>");
    Page("plain.html", "<embed src=/m/plain.swf>");
    {
        const BrowserWatch browser(Tmp().string());
        CommandChild killed({"capture", "--engine", "chromium", PageURL("slow.html")});
        ASSERT_TRUE(WaitFor([&] { return hangs > 0; }, kGenerous));
        killed.Signal(SIGKILL);
        killed.Wait();
        ASSERT_TRUE(WaitFor([&] { return browser.Left().empty(); }, kGenerous));
    }
    const std::vector<fs::path> stale = Profiles();
    ASSERT_EQ(stale.size(), 1U);

    // It must still run when the next run starts, however slow the machine.
    const int hangsBefore = hangs;
    CommandChild live(
        {"capture", "--engine", "chromium", "--page-timeout", "600", PageURL("slow.html")});
    ASSERT_TRUE(WaitFor([&] { return hangs > hangsBefore; }, kGenerous));
    std::vector<fs::path> inUse = Profiles();
    std::erase(inUse, stale.front());
    ASSERT_EQ(inUse.size(), 1U);

    // A home of its own: the live run holds the capture folder of this one.
    const TempDir otherHome;
    Set("HOME", otherHome.Path().string());
    ASSERT_EQ(Capture({PageURL("plain.html")}, Chromium(1, 60)), CaptureCommand::kAllLoaded) << err;
    EXPECT_EQ(Profiles(), inUse);
    // Whole: the browser would make its folder anew, but never the lock.
    EXPECT_TRUE(fs::exists(inUse.front() / BrowserProfile::kLockName));
    live.Signal(SIGINT);
    live.Wait();
    EXPECT_TRUE(Profiles().empty());
}

} // namespace
