#include "webkit/RateWindow.h"

#include <algorithm>

RateWindow::RateWindow(uint64_t minBytesPerSecond, std::chrono::milliseconds length)
    : m_minBytesPerSecond(minBytesPerSecond), m_length(length) {
}

bool RateWindow::Within(Clock::time_point now, uint64_t received) {
    if (m_pausedSince) {
        return true;
    }
    if (!m_windowStart) {
        m_windowStart = now;
        m_windowReceived = received;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - *m_windowStart);
    if (m_minBytesPerSecond == 0 || m_length.count() <= 0 || elapsed < m_length) {
        return true;
    }
    const uint64_t sent = received - std::min(received, m_windowReceived);
    if (sent * 1000 < m_minBytesPerSecond * static_cast<uint64_t>(elapsed.count())) {
        return false;
    }
    m_windowStart = now;
    m_windowReceived = received;
    return true;
}

void RateWindow::Pause(Clock::time_point now) {
    if (!m_pausedSince) {
        m_pausedSince = now;
    }
}

void RateWindow::Resume(Clock::time_point now) {
    if (!m_pausedSince) {
        return;
    }
    // The window moves on by the time paused within it; a pause before the first report leaves
    // the window to start at that report.
    if (m_windowStart) {
        const Clock::time_point from = std::max(*m_pausedSince, *m_windowStart);
        if (now > from) {
            *m_windowStart += now - from;
        }
    }
    m_pausedSince.reset();
}
