#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>

#include "LoopbackServer.h"
#include "TempDir.h"
#include "swfharvex/PageEngineChoice.h"

// The bytes served as the movie of that name: each movie its own, so a file caught under the
// wrong name shows.
std::string Movie(const std::string& name);

PageEngineChoice Chromium(double settleSeconds, double pageTimeoutSeconds);
PageEngineChoice StaticEngine();

// The parts one after the other.
std::string Joined(std::initializer_list<std::string_view> parts);

// Polls `done` until it holds or `limit` has passed; a generous limit, for events.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Watches, from a thread of its own, the processes whose command line names `text` (a folder
// only the browsers of one test use), and remembers their process groups: what is left of those
// groups, or of processes naming the folder, after a run is what outlived it.
class BrowserWatch {
public:
    explicit BrowserWatch(std::string text);
    ~BrowserWatch();
    BrowserWatch(const BrowserWatch&) = delete;
    BrowserWatch& operator=(const BrowserWatch&) = delete;
    BrowserWatch(BrowserWatch&&) = delete;
    BrowserWatch& operator=(BrowserWatch&&) = delete;

    // How many browser processes were seen so far.
    size_t Seen() const;
    // One line ("pid state command") for each process left now, zombies included.
    std::vector<std::string> Left() const;

private:
    void Look() const;

    std::string m_text;
    mutable std::mutex m_mutex;
    mutable std::set<pid_t> m_groups;
    mutable std::set<pid_t> m_seen;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The swfharvex program as a child, with this process's environment, its output thrown away.
class CommandChild {
public:
    explicit CommandChild(const std::vector<std::string>& args);
    ~CommandChild(); // kills it if it still runs
    CommandChild(const CommandChild&) = delete;
    CommandChild& operator=(const CommandChild&) = delete;
    CommandChild(CommandChild&&) = delete;
    CommandChild& operator=(CommandChild&&) = delete;

    void Signal(int number) const;
    // The raw wait status.
    int Wait();

private:
    pid_t m_pid = -1;
};

// `swfharvex capture` with the Chromium engine, in-process, on pages served on loopback: pages
// are registered by path with their HTML, movies are served under /m/ with bytes of their own.
// HOME, XDG_CONFIG_HOME and TMPDIR point into folders of the test's own, so the browser's
// profile is ours to watch.
class ChromiumCaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Set(const std::string& name, const std::string& value);
    void Page(const std::string& name, std::string html,
              std::string contentType = "text/html; charset=utf-8");
    std::string PageURL(const std::string& name) const { return server.Url("/p/" + name); }
    // The same server under another site's name: its frames run in a process of their own.
    std::string OtherSite(const std::string& path) const;
    // The folder the browsers' profiles are made in.
    std::filesystem::path Tmp() const { return temp.Path() / "tmp"; }
    // The profiles in it now.
    std::vector<std::filesystem::path> Profiles() const;

    int Capture(std::vector<std::string> urls, PageEngineChoice engine);
    // Address -> name of every caught movie, after checking each file is the movie served.
    std::map<std::string, std::string> Caught();
    // Address -> reason of every movie listed as not caught.
    std::map<std::string, std::string> NotCaught() const;

    TempDir home;
    TempDir temp;
    std::map<std::string, std::optional<std::string>> saved;
    std::map<std::string, std::pair<std::string, std::string>> pages;
    std::atomic<bool> stopping{false};
    // Requests of /hang so far; it answers only when the test ends.
    std::atomic<int> hangs{0};
    // Requests of /unneeded/..., what a capture's browser has no use for (images, fonts, media,
    // beacons).
    std::atomic<int> unneeded{0};
    LoopbackServer server;
    std::string out;
    std::string err;
};
