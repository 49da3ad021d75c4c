#include "EventStreamQueue.h"

bool EventStreamQueue::Push(std::string event) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return false;
        }
        if (m_events.size() >= kMostPending) {
            m_closed = true;
            m_events.clear();
        } else {
            m_events.push_back(std::move(event));
        }
    }
    m_ready.notify_all();
    return !IsClosed();
}

std::optional<std::string> EventStreamQueue::Pop(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    m_ready.wait_for(lock, wait, [this] { return m_closed || !m_events.empty(); });
    if (m_closed || m_events.empty()) {
        return std::nullopt;
    }
    std::string event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

void EventStreamQueue::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_events.clear();
    }
    m_ready.notify_all();
}

bool EventStreamQueue::IsClosed() const {
    std::lock_guard lock(m_mutex);
    return m_closed;
}
