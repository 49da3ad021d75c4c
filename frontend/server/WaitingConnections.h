#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

// The connections that wait for a request's headers: no request has identified them yet, they cost
// nothing to open, and each holds a worker as long as it waits. At most `most` of them may wait;
// one more pushes out the one that has waited longest (its socket is shut down, which ends its
// reads at once), so slow or idle connections can never take every worker, while a browser,
// whose headers arrive within milliseconds, loses nothing.
class WaitingConnections {
public:
    // A connection's place among the waiting; leaving it (or its end) removes the connection.
    class Ticket {
    public:
        Ticket(WaitingConnections& owner, uint64_t number) : m_owner(&owner), m_number(number) {}
        ~Ticket() { Leave(); }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        Ticket(Ticket&& other) noexcept : m_owner(other.m_owner), m_number(other.m_number) {
            other.m_owner = nullptr;
        }
        Ticket& operator=(Ticket&&) = delete;

        void Leave();

    private:
        WaitingConnections* m_owner;
        uint64_t m_number;
    };

    explicit WaitingConnections(size_t most);

    // `socket` waits from now on. Any thread; the socket stays open until its ticket is gone.
    Ticket Enter(int socket);

private:
    void Leave(uint64_t number);

    size_t m_most;
    std::mutex m_mutex;
    uint64_t m_next = 0;               // guarded by m_mutex
    std::map<uint64_t, int> m_waiting; // guarded by m_mutex; the oldest first
};
