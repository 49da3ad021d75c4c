#include "DesktopHarness.h"

#include <filesystem>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/RunLoop.h"
#include "server/DesktopToken.h"

DesktopHarness::DesktopHarness(size_t eventsPerSecond) {
    // The loop's main thread is the first one to ask for the loop: the test's own, before a server
    // thread asks on behalf of a request.
    static_cast<void>(RunLoop::Main());
    for (const char* folder : {"web", "resources", "capture", "player"}) {
        std::filesystem::create_directory(dir.Path() / folder);
    }
    token = DesktopToken::Generate().value();
    presenter = DesktopPresenter::Create();
    DesktopServer::Options options;
    options.token = token;
    options.webRoot = dir.Path() / "web";
    options.resourcesRoot = dir.Path() / "resources";
    options.captureRoot = dir.Path() / "capture";
    options.playerRoot = dir.Path() / "player";
    options.heartbeat = std::chrono::milliseconds(200);
    options.eventsPerSecond = eventsPerSecond;
    server = std::make_unique<DesktopServer>(options, presenter);
    Outcome<> started = server->Start();
    EXPECT_TRUE(started.ok()) << (started.ok() ? "" : started.failure().message());
}

httplib::Client DesktopHarness::Client() const {
    httplib::Client client("127.0.0.1", server->port());
    client.set_read_timeout(10, 0);
    return client;
}

httplib::Headers DesktopHarness::Auth() const {
    return {{"Cookie", "swfharvex_token=" + token}, {"X-SWFHarvex-Token", token}};
}

httplib::Result DesktopHarness::OffMain(const std::function<httplib::Result()>& request) const {
    std::promise<httplib::Result> promise;
    std::future<httplib::Result> answer = promise.get_future();
    std::thread client([&request, &promise] {
        promise.set_value(request());
        RunLoop::Main().Post([] {}); // wakes the loop to look at the answer
    });
    RunLoop::Main().RunUntil(
        [&answer] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(20));
    client.join();
    return answer.get();
}

std::string Header(const httplib::Result& result, const std::string& name) {
    return result ? result->get_header_value(name) : std::string();
}
