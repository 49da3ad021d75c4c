#pragma once

#include <map>
#include <mutex>
#include <string>

#include "LoopbackServer.h"

// A loopback server for page-loading tests: serves the pages and redirects it is given, and 404
// for anything else.
class PageServer {
public:
    PageServer();

    void Page(const std::string& path, std::string html,
              std::string contentType = "text/html; charset=utf-8");
    void Redirect(const std::string& from, const std::string& to);

    // "http://127.0.0.1:<port><path>"
    std::string URL(const std::string& path) const { return m_server.Url(path); }
    // A URL on a port that nothing listens on any more.
    static std::string ClosedPortURL();

private:
    struct Response {
        std::string body;
        std::string location; // a redirect when not empty
        std::string contentType;
    };

    std::mutex m_mutex;
    std::map<std::string, Response> m_responses; // guarded by m_mutex
    LoopbackServer m_server;                     // last: stops before the pages it serves go
};
