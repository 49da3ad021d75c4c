#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <httplib.h>

// A request body the server will not take, found while reading it. Thrown from the stream, it
// stops the library's reading where it is; the server answers `status`.
class BodyRefused : public std::runtime_error {
public:
    BodyRefused(int status, const std::string& why) : std::runtime_error(why), m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

// One accepted connection as the library reads and writes it, with the limits its own stream
// lacks: a request must arrive whole by a deadline (not merely a byte every few seconds), its
// headers within one byte budget and its body within another, and the server's stopping or the
// connection's being pushed out ends any wait at once. Writes have a timeout per step, as before.
class GuardedSocketStream final : public httplib::Stream {
public:
    using Clock = std::chrono::steady_clock;

    GuardedSocketStream(socket_t socket, std::chrono::milliseconds readTimeout,
                        std::chrono::milliseconds writeTimeout, std::function<bool()> stopping);

    // Waits up to `idle` for the next request to begin (or the peer to close).
    bool AwaitRequest(std::chrono::milliseconds idle);
    // A request begins: until the next one, reads end at `deadline`; its request line and headers
    // may take `headerBytes`.
    void BeginRequest(Clock::time_point deadline, size_t headerBytes);
    // Its headers are in: the body may take `bodyBytes` more, counted as they come over the wire
    // (chunk framing included). A read past them throws BodyRefused (413); `refusal`, when given,
    // is thrown at the first read of the body instead.
    void BeginBody(size_t bodyBytes, std::optional<BodyRefused> refusal = std::nullopt);
    // False once a read failed, ran out of time or of its budget: what follows on the connection
    // is not the start of a request.
    bool Intact() const { return m_intact; }
    // A body was refused partway: the client may still be sending it.
    bool RefusedBody() const { return m_refusedBody; }
    // Stops sending, then reads and drops what the client still sends for up to `most`: closing
    // with unread data resets the connection, and the answer on its way could be lost with it.
    void DrainBeforeClose(std::chrono::milliseconds most);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_socket; }

private:
    // Whether `events` came on the socket before `until`, the server stopping ending the wait.
    bool WaitFor(short events, Clock::time_point until) const;
    Clock::time_point ReadUntil() const;
    // Refills the empty buffer: bytes read, 0 at the peer's end, -1 on failure or timeout.
    ssize_t Fill();

    socket_t m_socket;
    std::chrono::milliseconds m_readTimeout;
    std::chrono::milliseconds m_writeTimeout;
    std::function<bool()> m_stopping;
    std::vector<char> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;

    bool m_inBody = false;
    Clock::time_point m_deadline;
    size_t m_budget = 0; // bytes the current part of the request may still take
    std::optional<BodyRefused> m_refusal;
    bool m_intact = true;
    bool m_refusedBody = false;
};
