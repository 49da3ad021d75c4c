#include "GuardedHttpServer.h"

#include <exception>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

#include "GuardedSocketStream.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

milliseconds Duration(time_t sec, time_t usec) {
    return std::chrono::duration_cast<milliseconds>(seconds(sec) + std::chrono::microseconds(usec));
}

// The library inflates a compressed body into memory without a limit.
std::optional<BodyRefused> RefusalOf(const httplib::Request& request) {
    const std::string coding = request.get_header_value("Content-Encoding");
    if (coding.empty() || coding == "identity") {
        return std::nullopt;
    }
    return BodyRefused(415, "compressed bodies are not taken");
}

} // namespace

GuardedHttpServer::GuardedHttpServer(Limits limits)
    : m_limits(limits), m_waiting(limits.mostWaiting) {
    set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, const std::exception_ptr& thrown) {
            try {
                std::rethrow_exception(thrown);
            } catch (const BodyRefused& refused) {
                response.status = refused.status();
            } catch (...) {
                response.status = 500;
            }
        });
}

bool GuardedHttpServer::process_and_close_socket(socket_t socket) {
    bool ok = false;
    {
        GuardedSocketStream stream(socket, Duration(read_timeout_sec_, read_timeout_usec_),
                                   Duration(write_timeout_sec_, write_timeout_usec_),
                                   [this] { return svr_sock_ == INVALID_SOCKET; });
        for (size_t left = keep_alive_max_count_; left > 0; --left) {
            WaitingConnections::Ticket waiting = m_waiting.Enter(socket);
            if (!stream.AwaitRequest(seconds(keep_alive_timeout_sec_))) {
                break;
            }
            stream.BeginRequest(GuardedSocketStream::Clock::now() + m_limits.requestDeadline,
                                m_limits.mostHeaderBytes);
            bool closed = false;
            try {
                ok = process_request(stream, left == 1, closed, [&](httplib::Request& request) {
                    waiting.Leave();
                    stream.BeginBody(payload_max_length_, RefusalOf(request));
                });
            } catch (...) {
                // The library answers what its handlers throw; anything else ends the connection
                // instead of the process.
                ok = false;
            }
            if (!ok || closed || !stream.Intact()) {
                break;
            }
        }
        if (stream.RefusedBody()) {
            stream.DrainBeforeClose(m_limits.drainAfterRefusal);
        }
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return ok;
}
