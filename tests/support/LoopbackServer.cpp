#include "LoopbackServer.h"

#include <chrono>
#include <stdexcept>

LoopbackServer::LoopbackServer() {
    // Many downloads at once each hold a worker while their connection is open.
    m_server.new_task_queue = [] { return new httplib::ThreadPool(128); };
    m_server.set_keep_alive_timeout(1);
    // As servers on the web do: without it, a small answer on a kept-alive connection waits for
    // the client's delayed acknowledgement (40 ms) before its body goes out.
    m_server.set_tcp_nodelay(true);
}

LoopbackServer::~LoopbackServer() {
    m_server.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LoopbackServer::Start() {
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("cannot bind a loopback port");
    }
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server.is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("the loopback server did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string LoopbackServer::Url(const std::string& path) const {
    return std::string("http://127.0.0.1:") + std::to_string(m_port) + path;
}
