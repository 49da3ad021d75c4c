#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crawl/RedisClient.h"

// Debian's redis-server for one test process: on 127.0.0.1, a port of its own, stopped with the
// object; nothing saved to disk, or with `folder` every write in an append-only file there, so
// that a restart keeps it. `running()` is false when it is not installed.
class RedisServer {
public:
    explicit RedisServer(std::string folder = {}) : m_folder(std::move(folder)) {
        m_port = FreePort();
        Start();
    }
    ~RedisServer() { Stop(); }
    RedisServer(const RedisServer&) = delete;
    RedisServer& operator=(const RedisServer&) = delete;
    RedisServer(RedisServer&&) = delete;
    RedisServer& operator=(RedisServer&&) = delete;

    // Stops the server (as an operator would: SIGTERM) and starts it again, on the same port,
    // after `gap`.
    void Restart(std::chrono::milliseconds gap) {
        Stop();
        std::this_thread::sleep_for(gap);
        Start();
    }

    bool running() const { return m_running; }
    RedisClient::Address address() const {
        RedisClient::Address address;
        address.port = m_port;
        return address;
    }

private:
    void Start() {
        m_running = false;
        const std::string port = std::to_string(m_port);
        std::vector<std::string> args = {"redis-server", "--port",  port,     "--bind", "127.0.0.1",
                                         "--loglevel",   "warning", "--save", ""};
        if (m_folder.empty()) {
            args.insert(args.end(), {"--appendonly", "no"});
        } else {
            args.insert(args.end(),
                        {"--appendonly", "yes", "--appendfsync", "always", "--dir", m_folder});
        }
        m_pid = fork();
        if (m_pid == 0) {
            // Its log says nothing a test needs.
            if (freopen("/dev/null", "w", stdout) == nullptr ||
                freopen("/dev/null", "w", stderr) == nullptr) {
                _exit(127);
            }
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execvp("redis-server", argv.data());
            _exit(127);
        }
        RedisClient::Address address;
        address.port = m_port;
        for (int attempt = 0; attempt < 200 && m_pid > 0; ++attempt) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1; // not installed, or could not start
                break;
            }
            if (RedisClient::Connect(address, std::chrono::milliseconds(200))) {
                m_running = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        m_running = false;
    }

    // A port nothing listens on now (the kernel's choice for a socket bound to port 0).
    static int FreePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        close(fd);
        return ntohs(address.sin_port);
    }

    std::string m_folder;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_running = false;
};
