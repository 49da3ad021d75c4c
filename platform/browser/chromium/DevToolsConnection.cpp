#include "browser/chromium/DevToolsConnection.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "foundation/RunLoop.h"

DevToolsConnection::DevToolsConnection(int commandFd, int replyFd)
    : m_commandFd(commandFd), m_wakeFd(eventfd(0, EFD_CLOEXEC)),
      m_shared(std::make_shared<Shared>()) {
    m_reader = std::thread([this, replyFd] { ReadLoop(replyFd); });
}

DevToolsConnection::~DevToolsConnection() {
    m_shared->alive = false;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(m_wakeFd, &one, sizeof one);
    m_reader.join();
    close(m_wakeFd);
}

void DevToolsConnection::ReadLoop(int fd) {
    std::string pending;
    std::array<char, 1 << 16> chunk{};
    std::weak_ptr<Shared> shared = m_shared;
    std::string why = "the browser closed the connection";
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            why = std::strerror(errno);
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return; // the connection is going; nobody waits for anything
        }
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got < 0) {
                why = std::strerror(errno);
            }
            break;
        }
        pending.append(chunk.data(), static_cast<size_t>(got));
        size_t start = 0;
        for (size_t end = pending.find('\0'); end != std::string::npos;
             end = pending.find('\0', start)) {
            // Parsed here, off the main thread; a message that does not parse is dropped.
            Json message =
                Json::parse(pending.begin() + static_cast<std::ptrdiff_t>(start),
                            pending.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
            start = end + 1;
            if (message.is_discarded()) {
                continue;
            }
            RunLoop::Main().Post([shared, message = std::move(message)]() mutable {
                if (auto live = shared.lock(); live && live->alive) {
                    Dispatch(*live, std::move(message));
                }
            });
        }
        pending.erase(0, start);
    }
    RunLoop::Main().Post([shared, why] {
        if (auto live = shared.lock(); live && live->alive) {
            Disconnect(*live, why);
        }
    });
}

void DevToolsConnection::Dispatch(Shared& shared, Json message) {
    if (const auto id = message.find("id"); id != message.end() && id->is_number_unsigned()) {
        auto waiting = shared.waiting.find(id->get<uint64_t>());
        if (waiting == shared.waiting.end()) {
            return;
        }
        auto [method, reply] = std::move(waiting->second);
        shared.waiting.erase(waiting);
        if (!reply) {
            return;
        }
        if (const auto error = message.find("error"); error != message.end()) {
            reply(Failure{"the browser refused " + method, error->value("message", "")});
        } else {
            reply(message.value("result", Json::object()));
        }
        return;
    }
    const auto session = shared.handlers.find(message.value("sessionId", ""));
    if (session == shared.handlers.end()) {
        return;
    }
    const auto handler = session->second.find(message.value("method", ""));
    if (handler == session->second.end()) {
        return;
    }
    // A copy: the handler may replace or forget itself.
    const EventHandler handle = handler->second;
    handle(message.value("params", Json::object()));
}

void DevToolsConnection::On(const std::string& sessionId, const std::string& method,
                            EventHandler handler) {
    HVX_ASSERT_MAIN_THREAD();
    m_shared->handlers[sessionId][method] = std::move(handler);
}

void DevToolsConnection::Forget(const std::string& sessionId) {
    HVX_ASSERT_MAIN_THREAD();
    m_shared->handlers.erase(sessionId);
}

void DevToolsConnection::Disconnect(Shared& shared, const std::string& why) {
    shared.connected = false;
    std::map<uint64_t, Waiting> waiting = std::move(shared.waiting);
    shared.waiting.clear();
    for (auto& [id, command] : waiting) {
        if (command.second) {
            command.second(Failure{"the browser has gone before answering " + command.first, why});
        }
    }
    if (ClosedHandler closed = std::move(shared.onClosed)) {
        shared.onClosed = nullptr;
        closed(why);
    }
}

void DevToolsConnection::Send(const std::string& method, Json params, const std::string& sessionId,
                              Reply reply) {
    HVX_ASSERT_MAIN_THREAD();
    if (!m_shared->connected) {
        if (reply) {
            reply(Failure{"the browser has gone", method + " was not sent"});
        }
        return;
    }
    const uint64_t id = m_nextId++;
    Json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty()) {
        message["sessionId"] = sessionId;
    }
    // Strings from pages may hold anything; replace what is not UTF-8 rather than throw.
    std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    text.push_back('\0');
    m_shared->waiting.emplace(id, Waiting{method, std::move(reply)});
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t wrote = write(m_commandFd, text.data() + sent, text.size() - sent);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            Disconnect(*m_shared, std::strerror(errno));
            return;
        }
        sent += static_cast<size_t>(wrote);
    }
}

Outcome<DevToolsConnection::Json> DevToolsConnection::Call(const std::string& method, Json params,
                                                           const std::string& sessionId,
                                                           std::chrono::milliseconds timeout) {
    // Shared: a reply after the timeout must find somewhere to go.
    auto answer = std::make_shared<std::optional<Outcome<Json>>>();
    Send(method, std::move(params), sessionId,
         [answer](Outcome<Json> got) { answer->emplace(std::move(got)); });
    RunLoop::Main().RunUntil([&answer] { return answer->has_value(); }, timeout);
    if (!answer->has_value()) {
        return Failure{"the browser did not answer " + method,
                       "no reply within " + std::to_string(timeout.count()) + " ms"};
    }
    return std::move(**answer);
}
