#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "browser/chromium/BrowserProfile.h"
#include "foundation/ChildProcess.h"
#include "foundation/Outcome.h"

// A headless (or windowed) Chromium with a fresh profile, driven through the DevTools pipe: it
// reads commands on our write end and writes replies and events on our read end. It runs in a
// process group of its own, which goes with this object (and with this process, even when it is
// killed or interrupted), so no browser outlives the command. Everything it writes stays in its
// profile, which goes with it too (or, after a kill, with the next run's start).
class ChromiumProcess {
public:
    struct Options {
        std::string executable; // empty: Find()
        bool headless = true;
        bool playsSound = false; // movies may start their sound without a click
        // The most a page's script heap may grow to, in MiB; 0 leaves the browser's own limit.
        size_t scriptHeapMiB = 0;
    };

    // The Debian package that provides the browser, for messages.
    static constexpr const char* kPackage = "chromium";

    // The program to run: $SWFHARVEX_CHROMIUM when set, else chromium on PATH; empty when none.
    static std::string Find();

    static Outcome<std::unique_ptr<ChromiumProcess>> Start(const Options& options);
    ~ChromiumProcess();
    ChromiumProcess(const ChromiumProcess&) = delete;
    ChromiumProcess& operator=(const ChromiumProcess&) = delete;
    ChromiumProcess(ChromiumProcess&&) = delete;
    ChromiumProcess& operator=(ChromiumProcess&&) = delete;

    int commandFd() const { return m_commandFd; }
    int replyFd() const { return m_replyFd; }
    pid_t pid() const { return m_pid; }
    const std::filesystem::path& profile() const { return m_profile->path(); }

    // Waits up to `grace` for the browser to end by itself (after Browser.close), then kills its
    // whole group and returns once no process of it is left (or, should one never end, after a
    // bounded wait). Idempotent.
    void Stop(std::chrono::milliseconds grace);
    // The last lines the browser wrote to its error output, for a failure's reason.
    std::string LogTail() const;

    // The browser's renderers (the processes that run the pages) that are running now.
    std::vector<pid_t> Renderers() const;
    // Ends one of them at once; false when it was no longer in the group.
    bool EndRenderer(pid_t renderer) const;

private:
    ChromiumProcess() = default;

    std::optional<ChildProcess> m_child; // reaped with its group (Stop)
    pid_t m_pid = -1;
    int m_commandFd = -1;
    int m_replyFd = -1;
    std::optional<BrowserProfile> m_profile;
};
