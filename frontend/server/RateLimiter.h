#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

// At most `perSecond` events in any one-second window per client, so that a runaway page
// cannot queue unbounded work on the main thread.
class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(size_t perSecond) : m_perSecond(perSecond) {}

    // Any thread. Counts the event and answers whether it may go through.
    bool Allow(const std::string& client, Clock::time_point now = Clock::now());

private:
    struct Window {
        Clock::time_point start;
        size_t count = 0;
    };
    const size_t m_perSecond;
    std::mutex m_mutex;
    std::map<std::string, Window> m_windows; // guarded by m_mutex
};
