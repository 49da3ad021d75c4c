#pragma once

#include <chrono>
#include <cstddef>

#include <httplib.h>

#include "WaitingConnections.h"

// An httplib server whose workers no client can hold at will. The library's own connection
// handling waits 5 s per read, so a byte every few seconds keeps a worker forever, and it reads a
// chunked body whole, however large. Here each connection is read through a GuardedSocketStream:
// - a request (headers and body) must arrive within `requestDeadline` of its first byte, its
//   request line and headers within `mostHeaderBytes`;
// - connections still waiting for a request's headers are capped at `mostWaiting`; one more
//   pushes out the one that has waited longest;
// - a body may take the payload limit (set_payload_max_length) on the wire, chunked or not:
//   past it the request is answered 413 without reading the rest; a compressed body, which
//   would grow past any limit as it is inflated, is answered 415;
// - keep-alive, its idle timeout, the read and write timeouts and the payload limit are the
//   library's settings, as before.
// The exception handler is this class's: it turns a refused body into its status.
class GuardedHttpServer : public httplib::Server {
public:
    struct Limits {
        std::chrono::milliseconds requestDeadline{10000};
        size_t mostHeaderBytes = size_t{64} * 1024;
        size_t mostWaiting = 16;
        // How long a connection whose body was refused is read and dropped before it is closed.
        std::chrono::milliseconds drainAfterRefusal{1000};
    };

    explicit GuardedHttpServer(Limits limits);

private:
    bool process_and_close_socket(socket_t socket) override;

    Limits m_limits;
    WaitingConnections m_waiting;
};
