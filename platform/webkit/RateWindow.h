#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Whether a server keeps to a lowest rate, in bytes a second averaged over each window of a
// fixed length. A window is judged at the first report that finds it whole, and the next begins
// there. The time the transfer itself holds the data back (paused until the destination is
// known) is not the server's: it does not count toward a window, neither does it start a new one.
class RateWindow {
public:
    using Clock = std::chrono::steady_clock;

    // A zero rate or window judges nothing.
    RateWindow(uint64_t minBytesPerSecond, std::chrono::milliseconds length);

    // A report of `received` bytes so far. False once a whole window brought fewer bytes than the
    // rate asks for it; true while paused.
    bool Within(Clock::time_point now, uint64_t received);
    void Pause(Clock::time_point now);
    void Resume(Clock::time_point now);

private:
    uint64_t m_minBytesPerSecond;
    std::chrono::milliseconds m_length;
    std::optional<Clock::time_point> m_windowStart; // none until the first report
    uint64_t m_windowReceived = 0;                  // bytes received when the window began
    std::optional<Clock::time_point> m_pausedSince;
};
