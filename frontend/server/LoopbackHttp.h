#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "GuardedHttpServer.h"
#include "RefusalLog.h"
#include "foundation/Outcome.h"

// What the desktop's two servers share: a guarded cpp-httplib server on 127.0.0.1 (see
// GuardedHttpServer), a check before routing, refusals answered with their reason and logged once,
// and a thread of its own.
class LoopbackHttp {
public:
    struct Settings {
        size_t workers = 16;
        size_t mostBodyBytes = 0;
        // Connections that have not sent a request yet may hold this many workers at most.
        size_t mostWaiting = 4;
        std::chrono::milliseconds requestDeadline{10000};
        // Put before each refusal's reason in the log, to say which server refused.
        std::string logPrefix;
    };

    explicit LoopbackHttp(Settings settings);
    ~LoopbackHttp();
    LoopbackHttp(const LoopbackHttp&) = delete;
    LoopbackHttp& operator=(const LoopbackHttp&) = delete;
    LoopbackHttp(LoopbackHttp&&) = delete;
    LoopbackHttp& operator=(LoopbackHttp&&) = delete;

    // Where the owner adds its routes, before Listen.
    httplib::Server& routes() { return *m_http; }
    // `admit` runs before routing, so that a refused request costs nothing more; it answers
    // whether the request may go on, having refused it otherwise. Refusals the library makes
    // itself (an unknown route, a body too large) are answered and logged as the owner's.
    void AdmitWith(std::function<bool(const httplib::Request&, httplib::Response&)> admit);
    // Answers `response` with the status and {"error": reason}, and logs it once.
    void Refuse(httplib::Response& response, int status, const std::string& reason,
                const std::string& path);
    // Logs a refusal made elsewhere (by a browser, say) once, as this server's.
    void LogRefusal(int status, const std::string& reason, const std::string& path);

    // Binds 127.0.0.1: any free port for 0, else the first free of `attempts` ports from `port`
    // up. The port taken.
    Outcome<int> Bind(int port, int attempts);
    int port() const { return m_port; }
    // Serves on a thread of its own from when this returns.
    void Listen();
    // Stops serving and waits for the thread. Safe to repeat.
    void Stop();

private:
    Settings m_settings;
    RefusalLog m_refusals;
    std::unique_ptr<GuardedHttpServer> m_http;
    std::thread m_thread;
    int m_port = 0;
};
