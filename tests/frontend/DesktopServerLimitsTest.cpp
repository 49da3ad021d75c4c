#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include "DesktopHarness.h"
#include "foundation/RunLoop.h"
#include "server/GuardedHttpServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kGenerous = 10s;
constexpr size_t kMiB = size_t{1024} * 1024;

// A plain TCP connection to the server, for clients that do what no browser does.
class RawConnection {
public:
    explicit RawConnection(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(m_fd); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    RawConnection(RawConnection&&) = delete;
    RawConnection& operator=(RawConnection&&) = delete;

    bool connected() const { return m_connected; }

    // Any thread, beside one reader.
    bool Send(std::string_view bytes) const {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // Reads until `text` has come `times` times, the server closes the connection or `timeout`
    // passes.
    bool AwaitText(std::string_view text, Clock::duration timeout, size_t times = 1) {
        const auto until = Clock::now() + timeout;
        while (Count(text) < times) {
            if (!ReadSome(until)) {
                return false;
            }
        }
        return true;
    }

    // Whether the server closed the connection within `timeout`.
    bool AwaitClosed(Clock::duration timeout) {
        const auto until = Clock::now() + timeout;
        while (ReadSome(until)) {
        }
        return m_closed;
    }

    const std::string& received() const { return m_received; }

private:
    size_t Count(std::string_view text) const {
        size_t count = 0;
        for (size_t at = m_received.find(text); at != std::string::npos;
             at = m_received.find(text, at + text.size())) {
            ++count;
        }
        return count;
    }

    // False at the connection's end or when `until` passed.
    bool ReadSome(Clock::time_point until) {
        if (m_closed) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        pollfd watched{m_fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[16384];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            m_closed = true;
            return false;
        }
        m_received.append(buffer, static_cast<size_t>(got));
        return true;
    }

    int m_fd;
    bool m_connected = false;
    std::string m_received;
    bool m_closed = false;
};

// Connections that start a request and then send one more byte of its headers every `period`,
// never finishing them: each keeps a worker that waits a few seconds per byte.
class Tricklers {
public:
    Tricklers(int port, size_t count, std::chrono::milliseconds period) {
        for (size_t i = 0; i < count; ++i) {
            m_connections.push_back(std::make_unique<RawConnection>(port));
            EXPECT_TRUE(m_connections.back()->Send("GET /ui/a.txt HTTP/1.1\r\nX-Slow: "));
        }
        m_thread = std::thread([this, period] {
            std::unique_lock lock(m_mutex);
            while (!m_wake.wait_for(lock, period, [this] { return m_stop; })) {
                for (const auto& connection : m_connections) {
                    (void)connection->Send("a");
                }
            }
        });
    }
    ~Tricklers() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Tricklers(const Tricklers&) = delete;
    Tricklers& operator=(const Tricklers&) = delete;
    Tricklers(Tricklers&&) = delete;
    Tricklers& operator=(Tricklers&&) = delete;

    RawConnection& operator[](size_t i) { return *m_connections[i]; }

private:
    std::vector<std::unique_ptr<RawConnection>> m_connections;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

std::string Head(const DesktopHarness& desktop, const std::string& requestLine,
                 const std::string& more = "") {
    return requestLine + "\r\nHost: 127.0.0.1:" + std::to_string(desktop.server->port()) +
           "\r\nCookie: swfharvex_token=" + desktop.token +
           "\r\nX-SWFHarvex-Token: " + desktop.token + "\r\n" + more + "\r\n";
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// One of the process's memory figures from /proc/self/status, in bytes.
size_t MemoryFigure(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":")) {
            return std::stoull(line.substr(name.size() + 1)) * 1024;
        }
    }
    return 0;
}

// Starts the peak resident size afresh from the current size.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

std::string Gzipped(size_t zeros) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::vector<unsigned char> input(kMiB, 0);
    std::vector<unsigned char> output(kMiB);
    std::string packed;
    for (size_t left = zeros; left > 0 || stream.avail_in > 0;) {
        if (stream.avail_in == 0) {
            const size_t take = std::min(left, input.size());
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(take);
            left -= take;
        }
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(output.size());
        deflate(&stream, Z_NO_FLUSH);
        packed.append(reinterpret_cast<char*>(output.data()), output.size() - stream.avail_out);
    }
    int finished = Z_OK;
    while (finished != Z_STREAM_END) {
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(output.size());
        finished = deflate(&stream, Z_FINISH);
        packed.append(reinterpret_cast<char*>(output.data()), output.size() - stream.avail_out);
    }
    deflateEnd(&stream);
    return packed;
}

TEST(DesktopServerLimitsTest, SlowConnectionsNeverKeepTheUserWaiting) {
    DesktopHarness desktop;
    WriteText(desktop.dir.Path() / "web" / "a.txt", "hello");
    Tricklers slow(desktop.server->port(), 80, 1000ms);

    httplib::Client user = desktop.Client();
    user.set_connection_timeout(5);
    user.set_read_timeout(5);
    user.set_keep_alive(true);
    for (int i = 0; i < 5; ++i) {
        httplib::Result answer = user.Get("/ui/a.txt", desktop.Auth());
        ASSERT_TRUE(answer) << "request " << i << ": " << httplib::to_string(answer.error());
        EXPECT_EQ(answer->status, 200);
        EXPECT_EQ(answer->body, "hello");
    }
}

TEST(DesktopServerLimitsTest, ANewEventStreamEndsTheOldestPastAFewAndTheNewestGetsEvents) {
    DesktopHarness desktop;
    WriteText(desktop.dir.Path() / "web" / "a.txt", "hello");
    constexpr size_t kOpened = 70;
    constexpr size_t kKept = 8;
    std::vector<std::unique_ptr<RawConnection>> streams;
    for (size_t i = 0; i < kOpened; ++i) {
        streams.push_back(std::make_unique<RawConnection>(desktop.server->port()));
        ASSERT_TRUE(streams.back()->Send(Head(desktop, "GET /events HTTP/1.1")));
        ASSERT_TRUE(streams.back()->AwaitText("HTTP/1.1 200", kGenerous)) << "stream " << i;
    }

    httplib::Client ordinary = desktop.Client();
    ordinary.set_connection_timeout(5);
    ordinary.set_read_timeout(5);
    httplib::Result answer = ordinary.Get("/ui/a.txt", desktop.Auth());
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->body, "hello");

    // The newest stream is attached when the main loop runs; a timer lets the loop look at it.
    RawConnection& newest = *streams.back();
    const RunLoop::TimerId look = RunLoop::Main().AddTimer(10ms, true, [] {});
    EXPECT_TRUE(RunLoop::Main().RunUntil([&] { return newest.AwaitText("event: snapshot", 1ms); },
                                         kGenerous));
    RunLoop::Main().CancelTimer(look);

    for (size_t i = 0; i + kKept < kOpened; ++i) {
        EXPECT_TRUE(streams[i]->AwaitText("\r\n0\r\n\r\n", kGenerous)) << "stream " << i;
    }
}

// Bodies the server must stop reading early, each followed by the rest of what a client could send.
TEST(DesktopServerLimitsTest, RequestsPastTheLimitsAreRefusedWithoutBeingReadIntoMemory) {
    DesktopHarness desktop;
    WriteText(desktop.dir.Path() / "web" / "a.txt", "hello");
    const std::string chunk(size_t{64} * 1024, ' ');
    std::string chunked;
    for (size_t sent = 0; sent < 2 * kMiB; sent += chunk.size()) {
        chunked += "10000\r\n" + chunk + "\r\n";
    }
    const std::string gzipped = Gzipped(256 * kMiB);
    ASSERT_LT(gzipped.size(), kMiB);
    const struct {
        const char* name;
        std::string head;
        std::string body; // sent `repeats` times
        size_t repeats;
        const char* status;
    } table[] = {
        {"chunked", Head(desktop, "POST /event HTTP/1.1", "Transfer-Encoding: chunked\r\n"),
         chunked, 64, "HTTP/1.1 413"},
        {"declared too large",
         Head(desktop, "POST /event HTTP/1.1",
              "Content-Length: " + std::to_string(128 * kMiB) + "\r\n"),
         std::string(kMiB, ' '), 128, "HTTP/1.1 413"},
        {"compressed",
         Head(desktop, "POST /event HTTP/1.1",
              "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(gzipped.size()) +
                  "\r\n"),
         gzipped, 1, "HTTP/1.1 415"},
        {"endless headers", "GET /ui/a.txt HTTP/1.1\r\n",
         "X-Padding: " + std::string(1000, 'a') + "\r\n", size_t{128} * 1024, "HTTP/1.1 400"},
    };
    for (const auto& row : table) {
        ASSERT_TRUE(ResetPeakMemory());
        const size_t before = MemoryFigure("VmRSS");
        RawConnection connection(desktop.server->port());
        std::atomic<bool> answered{false};
        std::thread sender([&] {
            if (!connection.Send(row.head)) {
                return;
            }
            for (size_t i = 0; i < row.repeats && !answered; ++i) {
                if (!connection.Send(row.body)) {
                    return;
                }
            }
        });
        EXPECT_TRUE(connection.AwaitText("\r\n\r\n", kGenerous)) << row.name;
        answered = true;
        sender.join();
        EXPECT_TRUE(connection.received().starts_with(row.status))
            << row.name << ": " << connection.received().substr(0, 40);
        EXPECT_TRUE(connection.AwaitClosed(kGenerous)) << row.name;
        const size_t peak = MemoryFigure("VmHWM");
        EXPECT_LT(peak, before + 32 * kMiB) << row.name;
    }
    httplib::Client client = desktop.Client();
    httplib::Result after = client.Get("/ui/a.txt", desktop.Auth());
    ASSERT_TRUE(after);
    EXPECT_EQ(after->body, "hello");
}

TEST(DesktopServerLimitsTest, EventsNestedTooDeeplyOrMalformedAreRefusedWithTheReason) {
    DesktopHarness desktop;
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const struct {
        std::string body;
        std::string reason;
    } table[] = {
        {R"({"oid":1,"kind":"click","extra":)" + deep + "}", "values nested deeper than 8 levels"},
        {R"({"oid":1,"kind":"click","extra":[[[[[[[]]]]]]]})", "no such object"},
        {"{\"oid\":\xff}", "malformed JSON: parse error at line 1, column 8: syntax error while "
                           "parsing value - invalid literal"},
    };
    for (const auto& row : table) {
        httplib::Result answer = desktop.OffMain([&] {
            return desktop.Client().Post("/event", desktop.Auth(), row.body, "application/json");
        });
        ASSERT_TRUE(answer);
        EXPECT_EQ(nlohmann::json::parse(answer->body).value("error", ""), row.reason);
    }
}

// A GuardedHttpServer on an ephemeral port with a small pool, answering the client's own port.
class GuardedRun {
public:
    explicit GuardedRun(GuardedHttpServer::Limits limits) : server(limits) {
        server.new_task_queue = [] { return new httplib::ThreadPool(24); };
        server.set_keep_alive_timeout(2);
        server.Get("/port", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(std::to_string(request.remote_port), "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        const auto until = Clock::now() + kGenerous;
        while (!server.is_running() && Clock::now() < until) {
            std::this_thread::yield();
        }
    }
    ~GuardedRun() { Stop(); }
    GuardedRun(const GuardedRun&) = delete;
    GuardedRun& operator=(const GuardedRun&) = delete;
    GuardedRun(GuardedRun&&) = delete;
    GuardedRun& operator=(GuardedRun&&) = delete;

    void Stop() {
        server.stop();
        if (thread.joinable()) {
            thread.join();
        }
    }

    GuardedHttpServer server;
    int port = 0;
    std::thread thread;
};

TEST(GuardedHttpServerTest, ARequestMustArriveWholeByItsDeadline) {
    GuardedHttpServer::Limits limits;
    limits.requestDeadline = 1s;
    GuardedRun run(limits);
    // A byte every 100 ms never trips a per-read timeout; only the deadline ends it.
    Tricklers slow(run.port, 1, 100ms);
    EXPECT_TRUE(slow[0].AwaitClosed(kGenerous));
}

TEST(GuardedHttpServerTest, AWellBehavedClientKeepsItsConnectionAcrossRequests) {
    GuardedRun run(GuardedHttpServer::Limits{});
    httplib::Client client("127.0.0.1", run.port);
    client.set_keep_alive(true);
    std::set<std::string> ports;
    for (int i = 0; i < 3; ++i) {
        httplib::Result answer = client.Get("/port");
        ASSERT_TRUE(answer);
        ports.insert(answer->body);
    }
    EXPECT_EQ(ports.size(), 1U);

    // Two requests sent at once are both answered, in order.
    RawConnection pipelined(run.port);
    const std::string request = "GET /port HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(pipelined.Send(request + request));
    EXPECT_TRUE(pipelined.AwaitText("HTTP/1.1 200", kGenerous, 2)) << pipelined.received();
}

TEST(GuardedHttpServerTest, StoppingEndsEveryWaitingConnectionAtOnce) {
    GuardedHttpServer::Limits limits;
    limits.requestDeadline = 1h;
    GuardedRun run(limits);
    std::future<void> stopped; // waited for after the connections stop sending
    Tricklers slow(run.port, 8, 100ms);
    stopped = std::async(std::launch::async, [&run] { run.Stop(); });
    EXPECT_EQ(stopped.wait_for(kGenerous), std::future_status::ready);
}

} // namespace
