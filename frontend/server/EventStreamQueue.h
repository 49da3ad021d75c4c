#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// What waits to go out to one event-stream client. The main thread pushes whole events; the
// client's server thread takes them, never waiting longer than it is told. A client that stops
// reading is closed once too much piles up: it reconnects and starts again from a snapshot,
// which is better than memory that grows without end.
class EventStreamQueue {
public:
    static constexpr size_t kMostPending = 1000;

    // False (and nothing queued) once closed.
    bool Push(std::string event);
    // The next event; none when the wait ran out or the queue is closed.
    std::optional<std::string> Pop(std::chrono::milliseconds wait);
    // Any thread; wakes the reader.
    void Close();
    bool IsClosed() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_events; // guarded by m_mutex
    bool m_closed = false;            // guarded by m_mutex
};
