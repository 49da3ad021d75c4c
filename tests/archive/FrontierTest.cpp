#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RedisServer.h"
#include "TempDir.h"
#include "crawl/RedisFrontier.h"
#include "crawl/SqliteFrontier.h"

namespace fs = std::filesystem;

namespace {

// Every frontier keeps the same promises; each implementation opens here over `folder`.
using FrontierMaker = std::function<std::unique_ptr<Frontier>(const fs::path& folder)>;

std::unique_ptr<Frontier> Sqlite(const fs::path& folder) {
    Outcome<std::unique_ptr<SqliteFrontier>> opened = SqliteFrontier::Open(folder / "state.db");
    EXPECT_TRUE(opened) << opened.failure().message();
    return opened ? std::move(opened.value()) : nullptr;
}

RedisServer& SharedRedis() {
    static RedisServer server;
    return server;
}

// A worker of the crawl `crawlId` in the process's Redis server; null when there is none.
std::unique_ptr<RedisFrontier> RedisWorker(const std::string& crawlId, const std::string& worker,
                                           std::chrono::milliseconds lease) {
    if (!SharedRedis().running()) {
        return nullptr;
    }
    Outcome<std::unique_ptr<RedisClient>> client =
        RedisClient::Connect(SharedRedis().address(), std::chrono::seconds(5));
    EXPECT_TRUE(client) << client.failure().message();
    if (!client) {
        return nullptr;
    }
    Outcome<std::unique_ptr<RedisFrontier>> opened =
        RedisFrontier::Open(std::move(client).value(), {crawlId, worker, lease});
    EXPECT_TRUE(opened) << opened.failure().message();
    return opened ? std::move(opened.value()) : nullptr;
}

// Each test's crawl is its own (named by its folder), and each opening is the same worker coming
// back.
std::unique_ptr<Frontier> Redis(const fs::path& folder) {
    return RedisWorker(folder.string(), "worker-1", std::chrono::seconds(60));
}

class FrontierTest : public ::testing::TestWithParam<FrontierMaker> {
protected:
    void SetUp() override {
        if (!Open()) {
            GTEST_SKIP() << "redis-server is not installed (scripts/test installs it)";
        }
    }
    std::unique_ptr<Frontier> Open() { return GetParam()(temp.Path()); }
    static std::string Next(Frontier& frontier) {
        Outcome<std::optional<FrontierPage>> page = frontier.Take();
        EXPECT_TRUE(page);
        return page && page.value() ? page.value()->address : std::string();
    }
    TempDir temp;
};

TEST_P(FrontierTest, EachPageOnceShallowestFirstInTheOrderFound) {
    std::unique_ptr<Frontier> frontier = Open();
    ASSERT_TRUE(frontier);
    for (const auto& [address, depth] :
         std::vector<std::pair<std::string, int>>{{"a", 0}, {"b", 1}, {"c", 0}, {"d", 2}}) {
        EXPECT_TRUE(frontier->Add(address, depth).value());
    }
    EXPECT_FALSE(frontier->Add("a", 0).value());
    EXPECT_EQ(Next(*frontier), "a");
    ASSERT_TRUE(frontier->Finish("a", true));
    EXPECT_FALSE(frontier->Add("a", 3).value()); // done is seen too
    EXPECT_EQ(Next(*frontier), "c");
    ASSERT_TRUE(frontier->Finish("c", false, "HTTP 404"));
    EXPECT_EQ(Next(*frontier), "b");
    const FrontierCounts counts = frontier->Counts().value();
    EXPECT_EQ(counts.queued, 1U);
    EXPECT_EQ(counts.taken, 1U);
    EXPECT_EQ(counts.done, 1U);
    EXPECT_EQ(counts.failed, 1U);
    EXPECT_EQ(frontier->Failures().value(),
              (std::vector<std::pair<std::string, std::string>>{{"c", "HTTP 404"}}));
    EXPECT_EQ(Next(*frontier), "d");
    EXPECT_EQ(Next(*frontier), "");
}

// A process killed at any moment: what the frontier answered stays, the page it had taken is
// queued again, the settings are still there.
TEST_P(FrontierTest, WhatItAnsweredSurvivesAKill) {
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(reports[0]);
        std::unique_ptr<Frontier> frontier = Open();
        if (!frontier || !frontier->Remember("seeds", "http://example.org/")) {
            _exit(1);
        }
        for (int i = 0;; ++i) {
            if (!frontier->Add("p" + std::to_string(i), i % 3)) {
                _exit(1);
            }
            Outcome<std::optional<FrontierPage>> page = frontier->Take();
            if (!page || !page.value() || !frontier->Finish(page.value()->address, true)) {
                _exit(1);
            }
            const std::string line = page.value()->address + "\n";
            if (write(reports[1], line.data(), line.size()) < 0) {
                _exit(1);
            }
        }
    }
    close(reports[1]);
    std::set<std::string> finished;
    std::string buffer;
    char chunk[256];
    while (finished.size() < 300) {
        const ssize_t got = read(reports[0], chunk, sizeof chunk);
        ASSERT_GT(got, 0) << "the writing process ended early";
        buffer.append(chunk, static_cast<size_t>(got));
        for (size_t end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n')) {
            finished.insert(buffer.substr(0, end));
            buffer.erase(0, end + 1);
        }
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(reports[0]);

    std::unique_ptr<Frontier> frontier = Open();
    ASSERT_TRUE(frontier);
    EXPECT_EQ(frontier->Recall("seeds").value().value_or(""), "http://example.org/");
    const FrontierCounts counts = frontier->Counts().value();
    EXPECT_EQ(counts.taken, 0U);
    EXPECT_GE(counts.done, finished.size());
    for (const std::string& address : finished) {
        EXPECT_FALSE(frontier->Add(address, 0).value()) << address;
    }
    // What was queued or taken and not finished comes back, none of the finished.
    for (std::string next = Next(*frontier); !next.empty(); next = Next(*frontier)) {
        EXPECT_FALSE(finished.contains(next)) << next;
    }
}

// Workers share one crawl: a page one takes is not another's until its lease lapses (its worker
// died), then it is; a lease renewed in time stays; a page finished twice counts once.
TEST(RedisFrontierTest, ALapsedLeaseGoesToTheNextWorkerAndARenewedOneDoesNot) {
    const auto lease = std::chrono::milliseconds(300);
    std::unique_ptr<RedisFrontier> first = RedisWorker("leases", "first", lease);
    std::unique_ptr<RedisFrontier> second = RedisWorker("leases", "second", lease);
    if (!first || !second) {
        GTEST_SKIP() << "redis-server is not installed (scripts/test installs it)";
    }
    ASSERT_TRUE(first->Add("kept", 0).value());
    ASSERT_TRUE(first->Add("lapsed", 0).value());
    EXPECT_EQ(first->Take().value()->address, "kept");
    EXPECT_EQ(second->Take().value()->address, "lapsed");
    EXPECT_FALSE(first->Take().value()); // nothing queued: both are leased
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(lease / 3);
        ASSERT_TRUE(first->Renew()); // the second worker has died and renews nothing
    }
    const std::optional<FrontierPage> retaken = first->Take().value();
    ASSERT_TRUE(retaken);
    EXPECT_EQ(retaken->address, "lapsed");
    ASSERT_TRUE(first->Finish("lapsed", true, {}));
    ASSERT_TRUE(second->Finish("lapsed", true, {})); // back too late: nothing changes
    ASSERT_TRUE(first->Finish("kept", true, {}));
    const FrontierCounts counts = first->Counts().value();
    EXPECT_EQ(counts.done, 2U);
    EXPECT_EQ(counts.taken, 0U);
    EXPECT_EQ(counts.queued, 0U);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, FrontierTest, ::testing::Values(FrontierMaker(Sqlite)));
INSTANTIATE_TEST_SUITE_P(Redis, FrontierTest, ::testing::Values(FrontierMaker(Redis)));

} // namespace
