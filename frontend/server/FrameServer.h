#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LoopbackHttp.h"
#include "ServedFolder.h"
#include "appkit/ModelObject.h"
#include "foundation/Outcome.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// The frames' own origin: a second loopback port where the web views' pages, and the movies they
// play, run. It holds nothing of the desktop's: it reads no cookie, knows no token and has no route
// that changes anything. A page reaches the native side only through its bridge, which the
// desktop page relays (see frontend/PROTOCOL.md).
//
// Every address here starts with a capability that names one web view: without one a local
// process reads nothing, and one frame's address serves no other view's page. The files a page and
// its player may read (the bundle's resources, the capture folder, the player) are the same for
// every capability, read-only.
class FrameServer {
public:
    struct Options {
        std::filesystem::path webRoot; // framebridge.js
        std::filesystem::path resourcesRoot;
        std::filesystem::path captureRoot;
        std::filesystem::path playerRoot;
        // The desktop page's origins: the only parents a frame may have and talk to.
        std::vector<std::string> desktopOrigins;
        std::chrono::milliseconds mainThreadTimeout{5000};
    };

    explicit FrameServer(Options options);
    ~FrameServer();
    FrameServer(const FrameServer&) = delete;
    FrameServer& operator=(const FrameServer&) = delete;
    FrameServer(FrameServer&&) = delete;
    FrameServer& operator=(FrameServer&&) = delete;

    // Binds a free port on 127.0.0.1 and serves on a thread of its own.
    Outcome<> Start();
    // Stops serving and waits for the server's thread. Safe to repeat.
    void Stop();

    int port() const { return m_port; }
    // http://127.0.0.1:PORT
    std::string origin() const;
    // Any thread: the address of a web view's page, its capability made on first use.
    Outcome<std::string> AddressOf(ModelObject::ObjectId view);

private:
    void Route();
    bool Admit(const httplib::Request& request, httplib::Response& response);
    void Refuse(httplib::Response& response, int status, const std::string& reason,
                const std::string& path);
    std::optional<ModelObject::ObjectId> ViewOf(const std::string& capability);
    void ServePage(ModelObject::ObjectId view, const std::string& capability,
                   const httplib::Request& request, httplib::Response& response);
    void ServeFile(const ServedFolder& folder, const std::string& relative,
                   const httplib::Request& request, httplib::Response& response);

    Options m_options;
    ServedFolder m_web;
    ServedFolder m_resources;
    ServedFolder m_capture;
    ServedFolder m_player;
    std::unique_ptr<LoopbackHttp> m_http;
    int m_port = 0;

    std::mutex m_capabilitiesMutex;
    // Both directions, guarded by m_capabilitiesMutex: a view keeps one capability for the run.
    std::map<std::string, ModelObject::ObjectId> m_viewOfCapability;
    std::map<ModelObject::ObjectId, std::string> m_capabilityOfView;
};
