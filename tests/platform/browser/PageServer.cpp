#include "PageServer.h"

PageServer::PageServer() {
    m_server.Http().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        const std::lock_guard lock(m_mutex);
        auto found = m_responses.find(request.path);
        if (found == m_responses.end()) {
            response.status = 404;
            response.set_content("not here", "text/plain");
        } else if (!found->second.location.empty()) {
            response.set_redirect(found->second.location, 302);
        } else {
            response.set_content(found->second.body, found->second.contentType);
        }
    });
    m_server.Start();
}

void PageServer::Page(const std::string& path, std::string html, std::string contentType) {
    const std::lock_guard lock(m_mutex);
    m_responses[path] = {std::move(html), std::string(), std::move(contentType)};
}

void PageServer::Redirect(const std::string& from, const std::string& to) {
    const std::lock_guard lock(m_mutex);
    m_responses[from] = {std::string(), to, std::string()};
}

std::string PageServer::ClosedPortURL() {
    std::string url;
    {
        const PageServer server;
        url = server.URL("/page.html");
    }
    return url;
}
