// The Chromium engine's page life, played over a socket pair by a fake browser that answers the
// page's commands and sends recorded DevTools events: it runs without Chromium.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

#include "browser/chromium/ChromiumEngine.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

std::vector<Json> ReadRecording(const std::string& name) {
    std::vector<Json> lines;
    std::ifstream file(std::string(HVX_DEVTOOLS_RECORDINGS) + "/" + name);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) {
            lines.push_back(Json::parse(line));
        }
    }
    return lines;
}

// The browser's end of the pipe. Each command gets the first recorded answer for its method (and
// session, when the answer names one), else an empty result; after it, the events recorded to
// follow that method go out once each, in order. "delayMs" holds a line back, "close" ends the
// browser's side.
class FakeBrowser {
public:
    explicit FakeBrowser(const std::string& recording) {
        m_script = ReadRecording(recording);
        for (Json& line : ReadRecording("tab.jsonl")) {
            m_script.push_back(std::move(line));
        }
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeBrowser() {
        close(m_fds[0]); // the engine's end: the fake reads its end of file and stops
        m_thread.join();
        close(m_fds[1]);
    }
    FakeBrowser(const FakeBrowser&) = delete;
    FakeBrowser& operator=(const FakeBrowser&) = delete;
    FakeBrowser(FakeBrowser&&) = delete;
    FakeBrowser& operator=(FakeBrowser&&) = delete;

    int engineFd() const { return m_fds[0]; }
    // "method sessionId" of every command received.
    std::vector<std::string> Commands() const {
        const std::lock_guard lock(m_mutex);
        return m_commands;
    }

private:
    void Serve() {
        std::string pending;
        char chunk[4096];
        for (ssize_t got; (got = read(m_fds[1], chunk, sizeof chunk)) > 0;) {
            pending.append(chunk, static_cast<size_t>(got));
            for (size_t end; (end = pending.find('\0')) != std::string::npos;) {
                Answer(Json::parse(pending.substr(0, end)));
                pending.erase(0, end + 1);
            }
        }
    }

    void Answer(const Json& command) {
        const std::string method = command.value("method", "");
        const std::string session = command.value("sessionId", "");
        {
            const std::lock_guard lock(m_mutex);
            m_commands.push_back(method + " " + session);
        }
        Json reply = {{"id", command["id"]}, {"result", Json::object()}};
        for (const Json& line : m_script) {
            if (line.value("answer", "") == method &&
                (!line.contains("sessionId") || line["sessionId"] == session)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(line.value("delayMs", 0)));
                reply.erase("result");
                reply[line.contains("error") ? "error" : "result"] =
                    line.contains("error") ? line["error"] : line["result"];
                break;
            }
        }
        Send(reply);
        for (Json& line : m_script) {
            if (line.value("after", "") != method) {
                continue;
            }
            line.erase("after"); // once
            std::this_thread::sleep_for(std::chrono::milliseconds(line.value("delayMs", 0)));
            if (line.value("close", false)) {
                shutdown(m_fds[1], SHUT_WR);
                m_closed = true;
            } else {
                line.erase("delayMs");
                Send(line);
            }
        }
    }

    void Send(const Json& message) {
        if (m_closed) {
            return;
        }
        std::string text = message.dump();
        text.push_back('\0');
        for (size_t sent = 0; sent < text.size();) {
            // The engine may have gone (its last command answered after it closed its end).
            const ssize_t wrote =
                send(m_fds[1], text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (wrote <= 0) {
                return;
            }
            sent += static_cast<size_t>(wrote);
        }
    }

    int m_fds[2] = {-1, -1};
    std::vector<Json> m_script;
    bool m_closed = false;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::thread m_thread;
};

constexpr const char* kPage = "https://movies.test/page.html";

struct Loaded {
    std::unique_ptr<HostPage> page;
    std::chrono::milliseconds took{};
};

// Loads kPage with an engine on `browser` and runs until it finishes.
Loaded Load(FakeBrowser& browser, std::unique_ptr<ChromiumEngine>& engine,
            ChromiumOptions options) {
    Outcome<std::unique_ptr<ChromiumEngine>> connected =
        ChromiumEngine::Connect(std::move(options), browser.engineFd(), browser.engineFd());
    EXPECT_TRUE(connected) << connected.failure().message();
    if (!connected) {
        return {};
    }
    engine = std::move(connected.value());
    EXPECT_EQ(engine->product(), "Chromium 120.0.6099.224");
    Loaded loaded{engine->NewPage()};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(loaded.page->load(std::string_view(kPage)).ok());
    EXPECT_TRUE(RunLoop::Main().RunUntil([&] { return loaded.page->finished(); }, 30s));
    loaded.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    return loaded;
}

TEST(ChromiumEventsTest, PagesSettleTimeOutOrLoseTheBrowserAndSayWhy) {
    struct Case {
        const char* recording;
        std::chrono::milliseconds pageTimeout;
        bool ok;
        std::string said; // the error, or the notice when ok
        std::vector<std::string> objects;
    };
    const std::string page = kPage;
    const Case cases[] = {
        // Loaded, then quiet once the script that was still coming in (300 ms late) is in.
        {"settles.jsonl", 20s, true, "", {"https://movies.test/intro.swf"}},
        {"never-loads.jsonl",
         400ms,
         false,
         "Could not load " + page + ": still loading after 0.4 s",
         {}},
        // Loaded, but a stream stays open: never quiet, and what it held is kept.
        {"keeps-loading.jsonl",
         400ms,
         true,
         page + ": stopped after 0.4 s (the page kept loading); what it held by then is kept",
         {}},
        {"browser-goes.jsonl",
         20s,
         false,
         "Could not load " + page +
             ": the browser ended unexpectedly (the browser closed the connection)",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recording);
        FakeBrowser browser(c.recording);
        std::unique_ptr<ChromiumEngine> engine;
        ChromiumOptions options;
        options.settle = 200ms;
        options.pageTimeout = c.pageTimeout;
        Loaded loaded = Load(browser, engine, options);
        ASSERT_TRUE(loaded.page && loaded.page->finished());
        const Outcome<HostPage::Loaded>& result = loaded.page->result();
        EXPECT_EQ(result.ok(), c.ok);
        EXPECT_EQ(c.ok ? result.value().notice : result.failure().message(), c.said);
        EXPECT_EQ(loaded.page->pluginObjectURLs(), c.objects);
        if (std::string(c.recording) == "settles.jsonl") {
            // Not before the late request ended and the page then stayed quiet.
            EXPECT_GE(loaded.took, 300ms + options.settle);
        }
        loaded.page.reset();
        engine.reset();
    }
}

TEST(ChromiumEventsTest, AFrameThatCannotBeObservedRunsAndIsLogged) {
    FakeBrowser browser("frame-set-up-fails.jsonl");
    std::unique_ptr<ChromiumEngine> engine;
    ChromiumOptions options;
    options.settle = 100ms;
    LogCapture log;
    Loaded loaded = Load(browser, engine, options);
    ASSERT_TRUE(loaded.page && loaded.page->finished());
    EXPECT_TRUE(loaded.page->result().ok()) << loaded.page->result().failure().message();

    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines[0].find(std::string("a frame of ") + kPage + " is not observed"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("Session with given id not found."), std::string::npos) << lines[0];
    // Its set-up failed, yet it was let go on: held waiting, it would hang the page.
    const std::vector<std::string> commands = browser.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "Runtime.runIfWaitingForDebugger F1"),
              commands.end());
}

// A page that reached its time limit while its tab was being made leaves the tab to the next
// page, rather than navigating it when it comes and holding it for good.
TEST(ChromiumEventsTest, ATabThatComesTooLateServesTheNextPage) {
    FakeBrowser browser("tab-comes-late.jsonl");
    ChromiumOptions options;
    options.settle = 100ms;
    options.pageTimeout = 1000ms;
    Outcome<std::unique_ptr<ChromiumEngine>> engine =
        ChromiumEngine::Connect(options, browser.engineFd(), browser.engineFd());
    ASSERT_TRUE(engine) << engine.failure().message();
    std::unique_ptr<HostPage> late = engine.value()->NewPage();
    ASSERT_TRUE(late->load(std::string_view(kPage)).ok());
    ASSERT_TRUE(RunLoop::Main().RunUntil([&] { return late->finished(); }, 30s));
    EXPECT_EQ(late->result().failure().message(),
              std::string("Could not load ") + kPage + ": still loading after 1 s");
    // The tab, made meanwhile, goes to the next page.
    ASSERT_TRUE(RunLoop::Main().RunUntil(
        [&] {
            const std::vector<std::string> commands = browser.Commands();
            return std::find(commands.begin(), commands.end(), "Target.attachToTarget ") !=
                   commands.end();
        },
        30s));
    RunLoop::Main().RunFor(200ms);
    std::unique_ptr<HostPage> next = engine.value()->NewPage();
    ASSERT_TRUE(next->load(std::string_view(kPage)).ok());
    ASSERT_TRUE(RunLoop::Main().RunUntil([&] { return next->finished(); }, 30s));
    EXPECT_TRUE(next->result().ok()) << next->result().failure().message();
    const std::vector<std::string> commands = browser.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "Page.navigate S1"), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "Target.createTarget "), 1);
    next.reset();
    late.reset();
}

} // namespace
