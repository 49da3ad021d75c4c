#include "DripServer.h"

#include <chrono>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

DripServer::DripServer() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on a loopback port");
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Accept(); });
}

DripServer::~DripServer() {
    m_stopping = true;
    m_acceptor.join();
    for (std::thread& client : m_clients) {
        client.join();
    }
    ::close(m_listener);
}

std::string DripServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

bool DripServer::Wait(int milliseconds) const {
    for (int waited = 0; waited < milliseconds && !m_stopping; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !m_stopping;
}

size_t DripServer::Connections() {
    const std::lock_guard lock(m_clientsMutex);
    return m_clients.size();
}

void DripServer::Accept() {
    while (!m_stopping) {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) {
            continue;
        }
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            const std::lock_guard lock(m_clientsMutex);
            m_clients.emplace_back([this, client] { Drip(client); });
        }
    }
}

void DripServer::Drip(int client) {
    // The request is read, and ignored, before the answer starts.
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && Wait(0)) {
        pollfd ready{client, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) {
            continue;
        }
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ::close(client);
            return;
        }
        request.append(buffer, static_cast<size_t>(got));
    }
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n"
                             "Content-Length: 1000000\r\n\r\n";
    bool open =
        ::send(client, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
    while (open && Wait(1000)) {
        open = ::send(client, "F", 1, MSG_NOSIGNAL) == 1;
    }
    ::close(client);
}
