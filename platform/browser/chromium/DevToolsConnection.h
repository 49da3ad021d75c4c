#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "foundation/Outcome.h"

// The DevTools protocol over the browser's pipe: each message one JSON object ended by a NUL.
// A reader thread splits and parses what arrives and hands every message to the main run loop, so
// replies and events are handled in the order the browser sent them, on the main thread. Commands
// for a target carry its flat session id; an event goes to the handler its session registered
// for its method (On), and one nobody listens for is dropped.
class DevToolsConnection {
public:
    using Json = nlohmann::json;
    // A reply's result, or what failed: the command and the browser's error message.
    using Reply = std::function<void(Outcome<Json>)>;
    // An event's params.
    using EventHandler = std::function<void(const Json&)>;
    // Why the connection ended (the browser closed its end, a read or write failed).
    using ClosedHandler = std::function<void(const std::string&)>;

    // Takes ownership of neither descriptor; the process that owns them outlives the connection.
    DevToolsConnection(int commandFd, int replyFd);
    ~DevToolsConnection();
    DevToolsConnection(const DevToolsConnection&) = delete;
    DevToolsConnection& operator=(const DevToolsConnection&) = delete;
    DevToolsConnection(DevToolsConnection&&) = delete;
    DevToolsConnection& operator=(DevToolsConnection&&) = delete;

    // Main thread. `reply` runs on the main thread when the answer arrives (or with a failure when
    // the browser has gone).
    void Send(const std::string& method, Json params, const std::string& sessionId = {},
              Reply reply = nullptr);
    // Main thread: sends, then runs the main loop until the answer arrives or `timeout` passes.
    Outcome<Json> Call(const std::string& method, Json params, const std::string& sessionId,
                       std::chrono::milliseconds timeout);

    // Main thread. Events of `method` in session `sessionId` (empty: the browser's own) go to
    // `handler`, replacing the one before. A handler may register and forget handlers.
    void On(const std::string& sessionId, const std::string& method, EventHandler handler);
    // Drops every handler of the session: what it still says goes nowhere.
    void Forget(const std::string& sessionId);
    // Runs once, on the main thread, when the connection ends, with the reason.
    void OnClosed(ClosedHandler handler) { m_shared->onClosed = std::move(handler); }

    // False once the browser closed its end or a write failed.
    bool connected() const { return m_shared->connected; }

private:
    // What the reader's posted tasks may still reach after the connection is gone.
    using Waiting = std::pair<std::string, Reply>; // the command's method, its reply
    struct Shared {
        bool alive = true;
        bool connected = true;
        std::map<uint64_t, Waiting> waiting;
        // By session id, then method.
        std::map<std::string, std::map<std::string, EventHandler>> handlers;
        ClosedHandler onClosed;
    };
    static void Dispatch(Shared& shared, Json message);
    static void Disconnect(Shared& shared, const std::string& why);
    void ReadLoop(int fd);

    int m_commandFd;
    int m_wakeFd; // tells the reader to stop
    uint64_t m_nextId = 1;
    std::shared_ptr<Shared> m_shared;
    std::thread m_reader;
};
