#pragma once

#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <utility>

// Logs each refused request once per reason and path, so that a page that retries (or a
// hostile one that keeps knocking) does not flood the log. The memory of what was logged is
// bounded; past it, one line says that further refusals go unlogged.
class RefusalLog {
public:
    static constexpr size_t kMostRemembered = 1000;

    // Any thread.
    void Refused(int status, const std::string& reason, const std::string& path);

private:
    std::mutex m_mutex;
    std::set<std::pair<std::string, std::string>> m_logged; // guarded by m_mutex
    bool m_full = false;                                    // guarded by m_mutex
};
