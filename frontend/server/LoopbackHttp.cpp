#include "LoopbackHttp.h"

#include <algorithm>

#include <nlohmann/json.hpp>
#include <sys/socket.h>

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr time_t kKeepAliveSeconds = 2;
constexpr time_t kIoTimeoutSeconds = 5;

} // namespace

LoopbackHttp::LoopbackHttp(Settings settings) : m_settings(std::move(settings)) {
    GuardedHttpServer::Limits limits;
    limits.requestDeadline = m_settings.requestDeadline;
    limits.mostWaiting = m_settings.mostWaiting;
    m_http = std::make_unique<GuardedHttpServer>(limits);
    m_http->new_task_queue = [workers = m_settings.workers] {
        return new httplib::ThreadPool(workers);
    };
    m_http->set_keep_alive_timeout(kKeepAliveSeconds);
    m_http->set_read_timeout(kIoTimeoutSeconds, 0);
    m_http->set_write_timeout(kIoTimeoutSeconds, 0);
    m_http->set_payload_max_length(m_settings.mostBodyBytes);
    // The library's default also sets SO_REUSEPORT, which lets a second process listen on the
    // same port and take the browser's requests (token included); address reuse alone only lets
    // a restarted server have its port back from TIME_WAIT.
    m_http->set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

LoopbackHttp::~LoopbackHttp() {
    Stop();
}

void LoopbackHttp::AdmitWith(
    std::function<bool(const httplib::Request&, httplib::Response&)> admit) {
    using httplib::Request;
    using httplib::Response;
    m_http->set_pre_routing_handler(
        [admit = std::move(admit)](const Request& request, Response& response) {
            return admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                            : httplib::Server::HandlerResponse::Handled;
        });
    m_http->set_error_handler(
        httplib::Server::HandlerWithResponse([this](const Request& request, Response& response) {
            if (!response.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            const int status = response.status;
            Refuse(response, status,
                   status == 404   ? "no such route"
                   : status == 413 ? "body too large"
                   : status == 415 ? "compressed bodies are not taken"
                                   : "a malformed request",
                   request.path);
            return httplib::Server::HandlerResponse::Handled;
        }));
}

void LoopbackHttp::Refuse(httplib::Response& response, int status, const std::string& reason,
                          const std::string& path) {
    LogRefusal(status, reason, path);
    response.status = status;
    response.set_header("Connection", "close");
    response.set_content(nlohmann::json{{"error", reason}}.dump(), "application/json");
}

void LoopbackHttp::LogRefusal(int status, const std::string& reason, const std::string& path) {
    m_refusals.Refused(status, m_settings.logPrefix + reason, path);
}

Outcome<int> LoopbackHttp::Bind(int port, int attempts) {
    m_port = 0;
    if (port == 0) {
        m_port = std::max(0, m_http->bind_to_any_port(kLoopback));
    }
    for (int i = 0; port != 0 && i < std::max(1, attempts) && m_port == 0; ++i) {
        if (m_http->bind_to_port(kLoopback, port + i)) {
            m_port = port + i;
        }
    }
    if (m_port == 0) {
        std::string ports = port == 0 ? "any port" : "port " + std::to_string(port);
        if (port != 0 && attempts > 1) {
            ports += "-" + std::to_string(port + attempts - 1);
        }
        return Failure{kLoopback, "cannot listen on 127.0.0.1 " + ports};
    }
    return m_port;
}

void LoopbackHttp::Listen() {
    m_thread = std::thread([this] { m_http->listen_after_bind(); });
    // This version has no readiness signal; requests made before it runs would wait anyway.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_http->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void LoopbackHttp::Stop() {
    m_http->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
