// The shared frontier without a browser: workers (threads, each with its own connection, as
// separate machines would have) that only take, lease and finish pages, each page adding two
// more, against one Redis server; frontier operations per second for 1 to 64 workers, and where
// it saturates. Then Redis's memory for a million queued pages. The SQLite frontier beside it,
// one worker, for scale.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "RedisServer.h"
#include "TempDir.h"
#include "crawl/RedisFrontier.h"
#include "crawl/SqliteFrontier.h"

namespace {

constexpr int kPagesPerRun = 20'000;

RedisServer& Server() {
    static RedisServer server;
    return server;
}

std::unique_ptr<Frontier> Worker(const std::string& crawl, int worker) {
    Outcome<std::unique_ptr<RedisClient>> client =
        RedisClient::Connect(Server().address(), std::chrono::seconds(10));
    if (!client) {
        return nullptr;
    }
    Outcome<std::unique_ptr<RedisFrontier>> frontier = RedisFrontier::Open(
        std::move(client).value(), {crawl, "w" + std::to_string(worker), std::chrono::minutes(1)});
    return frontier ? std::move(frontier.value()) : nullptr;
}

// One worker's loop until the run's pages are finished: take, add two links, finish. Four
// frontier operations a page.
void Work(Frontier& frontier, std::atomic<int>& finished, std::atomic<long>& operations) {
    while (finished.load() < kPagesPerRun) {
        Outcome<std::optional<FrontierPage>> page = frontier.Take();
        ++operations;
        if (!page) {
            return;
        }
        if (!page.value()) {
            std::this_thread::yield();
            continue;
        }
        for (const char* child : {"/a", "/b"}) {
            (void)frontier.Add(page.value()->address + child, page.value()->depth + 1);
        }
        (void)frontier.Finish(page.value()->address, true, {});
        operations += 3;
        ++finished;
    }
}

void BM_RedisFrontierWorkers(benchmark::State& state) {
    if (!Server().running()) {
        state.SkipWithError("redis-server is not installed");
        return;
    }
    const int workers = static_cast<int>(state.range(0));
    int run = 0;
    for (auto _ : state) {
        const std::string crawl = "bench-" + std::to_string(workers) + "-" + std::to_string(++run);
        std::vector<std::unique_ptr<Frontier>> frontiers;
        for (int i = 0; i < workers; ++i) {
            frontiers.push_back(Worker(crawl, i));
        }
        (void)frontiers.front()->Add("http://example.org/", 0);
        std::atomic<int> finished{0};
        std::atomic<long> operations{0};
        const auto started = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (auto& frontier : frontiers) {
            threads.emplace_back(
                [&frontier, &finished, &operations] { Work(*frontier, finished, operations); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(seconds);
        state.counters["pages/s"] = finished.load() / seconds;
        state.counters["ops/s"] = static_cast<double>(operations.load()) / seconds;
    }
}

void BM_SqliteFrontierOneWorker(benchmark::State& state) {
    for (auto _ : state) {
        TempDir folder;
        Outcome<std::unique_ptr<SqliteFrontier>> frontier =
            SqliteFrontier::Open(folder.Path() / "frontier.db");
        if (!frontier) {
            state.SkipWithError(frontier.failure().message().c_str());
            return;
        }
        (void)frontier.value()->Add("http://example.org/", 0);
        std::atomic<int> finished{0};
        std::atomic<long> operations{0};
        const auto started = std::chrono::steady_clock::now();
        Work(*frontier.value(), finished, operations);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(seconds);
        state.counters["pages/s"] = finished.load() / seconds;
        state.counters["ops/s"] = static_cast<double>(operations.load()) / seconds;
    }
}

long UsedMemory(RedisClient& client) {
    Outcome<RedisReply> info = client.Command({"INFO", "memory"});
    if (!info) {
        return 0;
    }
    const std::string& text = info.value().text;
    const size_t at = text.find("used_memory:");
    return at == std::string::npos ? 0 : std::stol(text.substr(at + 12));
}

void BM_RedisMillionQueued(benchmark::State& state) {
    if (!Server().running()) {
        state.SkipWithError("redis-server is not installed");
        return;
    }
    for (auto _ : state) {
        Outcome<std::unique_ptr<RedisClient>> probe =
            RedisClient::Connect(Server().address(), std::chrono::seconds(10));
        const long before = UsedMemory(*probe.value());
        std::unique_ptr<Frontier> frontier = Worker("million", 0);
        const auto started = std::chrono::steady_clock::now();
        for (int page = 0; page < 1'000'000; ++page) {
            (void)frontier->Add("http://www.example.org/section/" + std::to_string(page / 100) +
                                    "/page-" + std::to_string(page) + ".html",
                                page % 12);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(seconds);
        state.counters["MB"] = static_cast<double>(UsedMemory(*probe.value()) - before) / 1e6;
        state.counters["adds/s"] = 1e6 / seconds;
    }
}

} // namespace

BENCHMARK(BM_SqliteFrontierOneWorker)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_RedisFrontierWorkers)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Arg(64)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_RedisMillionQueued)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
