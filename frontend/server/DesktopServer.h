#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DesktopPresenter.h"
#include "EventStreamQueue.h"
#include "FrameServer.h"
#include "LoopbackHttp.h"
#include "RateLimiter.h"
#include "ServedFolder.h"
#include "UserEventDelivery.h"
#include "foundation/Outcome.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// The desktop's HTTP server on 127.0.0.1: the renderer's files, the event stream, user events
// and the read-only file routes. Only a request that carries the run's token (cookie, plus a
// header for anything that changes state) and names this server as its Host gets in, so that
// neither another site in the browser nor another name for loopback can drive the application.
class DesktopServer {
public:
    static constexpr const char* kCookieName = "swfharvex_token";
    static constexpr const char* kTokenHeader = "X-SWFHarvex-Token";
    static constexpr size_t kMostBodyBytes = 1024 * 1024;

    struct Options {
        int port = 0;         // 0: a free port the system picks
        int portAttempts = 1; // how many ports, from `port` up, to try when one is taken
        std::string token;
        std::filesystem::path webRoot;       // desktop.html and the renderer's files
        std::filesystem::path resourcesRoot; // the plug-in bundle's Resources
        std::filesystem::path captureRoot;   // the capture folder
        std::filesystem::path playerRoot;    // the movie player
        std::chrono::milliseconds heartbeat{15000};
        std::chrono::milliseconds eventTimeout{5000};
        size_t eventsPerSecond = 100;
    };

    DesktopServer(Options options, const std::shared_ptr<DesktopPresenter>& presenter);
    ~DesktopServer();
    DesktopServer(const DesktopServer&) = delete;
    DesktopServer& operator=(const DesktopServer&) = delete;
    DesktopServer(DesktopServer&&) = delete;
    DesktopServer& operator=(DesktopServer&&) = delete;

    // Binds and starts serving on a thread of its own.
    Outcome<> Start();
    // Ends every stream and stops serving; waits for the server's thread. Safe to repeat.
    void Stop();

    int port() const { return m_port; }
    // The address that lets a browser in: http://127.0.0.1:PORT/?token=TOKEN
    std::string EntryAddress() const;
    // Where the web views' pages run (see FrameServer); null until started.
    FrameServer* frames() const { return m_frames.get(); }

private:
    void Route();
    bool Admit(const httplib::Request& request, httplib::Response& response);
    // Only the desktop page itself, or an address typed or opened from outside the browser:
    // never another origin's page, a frame's among them.
    bool FromTheDesktopPage(const httplib::Request& request, httplib::Response& response);
    void Refuse(httplib::Response& response, int status, const std::string& reason,
                const std::string& path);
    void ServeFile(const ServedFolder& folder, const std::string& relative,
                   const httplib::Request& request, httplib::Response& response);
    void ServeEvents(httplib::Response& response);
    // desktop.html with the run's token in place of its placeholder.
    void ServeDesktopPage(const httplib::Request& request, httplib::Response& response);
    // The renderer's own events (clicks, edits, sheet answers…).
    void TakeEvent(const httplib::Request& request, httplib::Response& response);
    // A page's bridge calls, which the renderer relays for the frame they came from.
    void TakePageEvent(const httplib::Request& request, httplib::Response& response);
    void Deliver(EventSource source, const httplib::Request& request, httplib::Response& response);
    void ServeIcon(const httplib::Request& request, httplib::Response& response);
    // Sends the browser to where a web view's page runs.
    void ServeFrame(const httplib::Request& request, httplib::Response& response);
    // The desktop page's own origins, for the frames and the Origin check.
    std::vector<std::string> Origins() const;

    Options m_options;
    std::weak_ptr<DesktopPresenter> m_presenter;
    ServedFolder m_web;
    ServedFolder m_resources;
    ServedFolder m_capture;
    ServedFolder m_player;
    RateLimiter m_rate;
    std::unique_ptr<LoopbackHttp> m_http;
    std::unique_ptr<FrameServer> m_frames;
    std::string
        m_policy; // the desktop page's Content-Security-Policy, once the frames' port is known
    int m_port = 0;

    std::mutex m_streamsMutex;
    std::vector<std::weak_ptr<EventStreamQueue>> m_streams; // guarded by m_streamsMutex
};
