#include "GuardedSocketStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

using std::chrono::milliseconds;

constexpr size_t kBufferBytes = size_t{16} * 1024;
// How often a wait looks whether the server is stopping: Stop() joins every worker.
constexpr milliseconds kStopCheck(100);

void AddressOf(socket_t socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(socket, generic, &length)
              : ::getsockname(socket, generic, &length)) != 0) {
        return;
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

bool Retry(ssize_t result) {
    return result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

} // namespace

GuardedSocketStream::GuardedSocketStream(socket_t socket, milliseconds readTimeout,
                                         milliseconds writeTimeout, std::function<bool()> stopping)
    : m_socket(socket), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout),
      m_stopping(std::move(stopping)), m_buffer(kBufferBytes) {
}

bool GuardedSocketStream::AwaitRequest(milliseconds idle) {
    return m_begin < m_end || WaitFor(POLLIN, Clock::now() + idle);
}

void GuardedSocketStream::BeginRequest(Clock::time_point deadline, size_t headerBytes) {
    m_inBody = false;
    m_deadline = deadline;
    m_budget = headerBytes;
    m_refusal.reset();
}

void GuardedSocketStream::BeginBody(size_t bodyBytes, std::optional<BodyRefused> refusal) {
    m_inBody = true;
    m_budget = bodyBytes;
    m_refusal = std::move(refusal);
}

bool GuardedSocketStream::WaitFor(short events, Clock::time_point until) const {
    while (!m_stopping()) {
        const auto now = Clock::now();
        if (now >= until) {
            return false;
        }
        const auto slice = std::min(std::chrono::ceil<milliseconds>(until - now), kStopCheck);
        pollfd watched{m_socket, events, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(slice.count()));
        if (ready > 0) {
            return true; // a hang-up or an error too: the next read or write tells which
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

GuardedSocketStream::Clock::time_point GuardedSocketStream::ReadUntil() const {
    return std::min(m_deadline, Clock::now() + m_readTimeout);
}

ssize_t GuardedSocketStream::Fill() {
    while (WaitFor(POLLIN, ReadUntil())) {
        const ssize_t got = ::recv(m_socket, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (got >= 0) {
            m_begin = 0;
            m_end = static_cast<size_t>(got);
            return got;
        }
        if (!Retry(got)) {
            break;
        }
    }
    return -1;
}

ssize_t GuardedSocketStream::read(char* ptr, size_t size) {
    if (size == 0) {
        return 0;
    }
    if (m_inBody && (m_refusal || m_budget == 0)) {
        m_intact = false;
        m_refusedBody = true;
        throw m_refusal ? *m_refusal : BodyRefused(413, "body too large");
    }
    if (m_budget == 0) {
        m_intact = false;
        return -1;
    }
    if (m_begin == m_end) {
        const ssize_t got = Fill();
        if (got <= 0) {
            m_intact = false;
            return got;
        }
    }
    const size_t taken = std::min({size, m_budget, m_end - m_begin});
    std::memcpy(ptr, m_buffer.data() + m_begin, taken);
    m_begin += taken;
    m_budget -= taken;
    return static_cast<ssize_t>(taken);
}

ssize_t GuardedSocketStream::write(const char* ptr, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (!WaitFor(POLLOUT, Clock::now() + m_writeTimeout)) {
            m_intact = false;
            return -1;
        }
        const ssize_t wrote =
            ::send(m_socket, ptr + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (wrote >= 0) {
            sent += static_cast<size_t>(wrote);
        } else if (!Retry(wrote)) {
            m_intact = false;
            return -1;
        }
    }
    return static_cast<ssize_t>(size);
}

bool GuardedSocketStream::is_readable() const {
    return m_begin < m_end || WaitFor(POLLIN, ReadUntil());
}

// Writable and the peer still there: a closed tab shows as a readable socket with nothing to read.
bool GuardedSocketStream::is_writable() const {
    if (!WaitFor(POLLOUT, Clock::now() + m_writeTimeout)) {
        return false;
    }
    pollfd watched{m_socket, POLLIN, 0};
    if (::poll(&watched, 1, 0) <= 0) {
        return true;
    }
    char byte = 0;
    return ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void GuardedSocketStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    AddressOf(m_socket, true, ip, port);
}

void GuardedSocketStream::get_local_ip_and_port(std::string& ip, int& port) const {
    AddressOf(m_socket, false, ip, port);
}

void GuardedSocketStream::DrainBeforeClose(milliseconds most) {
    ::shutdown(m_socket, SHUT_WR);
    const auto until = Clock::now() + most;
    while (WaitFor(POLLIN, until)) {
        const ssize_t got = ::recv(m_socket, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (got == 0 || (got < 0 && !Retry(got))) {
            return;
        }
    }
}
