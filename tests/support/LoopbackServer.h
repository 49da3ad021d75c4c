#pragma once

#include <string>
#include <thread>

#include <httplib.h>

// An HTTP server on 127.0.0.1 and an ephemeral port, for one test. Register handlers on Http()
// before Start(); the destructor stops it and joins its thread.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    LoopbackServer(LoopbackServer&&) = delete;
    LoopbackServer& operator=(LoopbackServer&&) = delete;

    httplib::Server& Http() { return m_server; }
    void Start();
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;

private:
    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
};
