#include "WaitingConnections.h"

#include <algorithm>

#include <sys/socket.h>

void WaitingConnections::Ticket::Leave() {
    if (m_owner != nullptr) {
        m_owner->Leave(m_number);
        m_owner = nullptr;
    }
}

WaitingConnections::WaitingConnections(size_t most) : m_most(std::max<size_t>(most, 1)) {
}

WaitingConnections::Ticket WaitingConnections::Enter(int socket) {
    std::lock_guard lock(m_mutex);
    const uint64_t number = m_next++;
    m_waiting.emplace(number, socket);
    while (m_waiting.size() > m_most) {
        // Under the lock: the owner closes its socket only after its ticket has left, so the
        // descriptor cannot have been reused for another connection.
        ::shutdown(m_waiting.begin()->second, SHUT_RDWR);
        m_waiting.erase(m_waiting.begin());
    }
    return {*this, number};
}

void WaitingConnections::Leave(uint64_t number) {
    std::lock_guard lock(m_mutex);
    m_waiting.erase(number);
}
