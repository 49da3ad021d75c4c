#pragma once

#include <filesystem>

#include "foundation/Outcome.h"

// The browser's profile: a fresh folder in the temporary folder for one run, holding everything
// the browser writes (its settings, caches, crash reports, home). A lock on a file inside is held
// for as long as the object lives, so a later run tells a profile in use from one that a killed
// run left behind, and removes the latter. The lock goes with this process however it ends, so
// neither a reused process number nor a clock can fool the test.
class BrowserProfile {
public:
    static constexpr const char* kPrefix = "swfharvex-chromium-";
    static constexpr const char* kLockName = "swfharvex.lock";

    // Removes the profiles in `parent` that no live run holds, then makes and locks a new one.
    static Outcome<BrowserProfile> Make(const std::filesystem::path& parent);
    // Removes the folder, then lets go of the lock.
    ~BrowserProfile();
    BrowserProfile(BrowserProfile&& other) noexcept;
    BrowserProfile& operator=(BrowserProfile&&) = delete;
    BrowserProfile(const BrowserProfile&) = delete;
    BrowserProfile& operator=(const BrowserProfile&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    BrowserProfile(std::filesystem::path path, int lockFd)
        : m_path(std::move(path)), m_lockFd(lockFd) {}

    std::filesystem::path m_path;
    int m_lockFd = -1;
};
