#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A hostile HTTP server on 127.0.0.1 that answers every request with a large announced body
// and then sends it one byte a second, for as long as the client stays.
class DripServer {
public:
    DripServer();
    ~DripServer();
    DripServer(const DripServer&) = delete;
    DripServer& operator=(const DripServer&) = delete;
    DripServer(DripServer&&) = delete;
    DripServer& operator=(DripServer&&) = delete;

    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;
    // Connections accepted so far.
    size_t Connections();

private:
    void Accept();
    void Drip(int client);
    // Sleeps up to `milliseconds`; false once the server is stopping.
    bool Wait(int milliseconds) const;

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_clientsMutex;
    std::vector<std::thread> m_clients; // guarded by m_clientsMutex
    std::thread m_acceptor;
};
