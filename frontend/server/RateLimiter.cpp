#include "RateLimiter.h"

#include <iterator>

bool RateLimiter::Allow(const std::string& client, Clock::time_point now) {
    constexpr auto kWindow = std::chrono::seconds(1);
    std::lock_guard lock(m_mutex);
    // Forget idle clients, so the map stays as small as the set of active ones.
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        it = now - it->second.start >= kWindow && it->first != client ? m_windows.erase(it)
                                                                      : std::next(it);
    }
    Window& window = m_windows[client];
    if (window.count == 0 || now - window.start >= kWindow) {
        window = Window{now, 0};
    }
    if (window.count >= m_perSecond) {
        return false;
    }
    ++window.count;
    return true;
}
