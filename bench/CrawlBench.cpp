// A generated site of 2,000 pages (page i links to pages 2i+1 and 2i+2; every tenth embeds a
// movie of 10 kB): `swfharvex crawl` with each engine (no delay, robots.txt not read, the movies'
// own loads not followed), against `wget --recursive` on the same site (static markup only). Each
// reports pages and movies per second; every run must fetch every page. Then each again, writing
// a WARC file of what it fetched. Then the static engine's crawl shared by 1, 2 and 4 workers over
// Redis.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackServer.h"
#include "RedisServer.h"
#include "TempDir.h"
#include "WholeProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPages = 2000;
constexpr size_t kMovieBytes = 10 * 1024;

std::atomic<int> g_pageRequests{0};

LoopbackServer& Server() {
    static LoopbackServer* server = [] {
        static LoopbackServer instance;
        static const std::string movie = MovieBytes(kMovieBytes);
        instance.Http().Get(
            "/p/(\\d+).html", [](const httplib::Request& request, httplib::Response& response) {
                ++g_pageRequests;
                const int page = std::stoi(request.matches[1]);
                std::string html = "<p>page " + std::to_string(page) + "</p>";
                for (const int child : {2 * page + 1, 2 * page + 2}) {
                    if (child < kPages) {
                        html += "<a href='/p/" + std::to_string(child) + ".html'>next</a>";
                    }
                }
                if (page % 10 == 0) {
                    html += "<embed src='/m/" + std::to_string(page) + ".swf'>";
                }
                response.set_content(html, "text/html");
            });
        instance.Http().Get("/m/(\\d+).swf",
                            [](const httplib::Request&, httplib::Response& response) {
                                response.set_content(movie, "application/x-shockwave-flash");
                            });
        instance.Start();
        return &instance;
    }();
    return *server;
}

void Run(benchmark::State& state, const std::vector<std::string>& command) {
    for (auto _ : state) {
        g_pageRequests = 0;
        TempDir home;
        setenv("HOME", home.Path().c_str(), 1);
        std::vector<std::string> arguments = command;
        for (std::string& argument : arguments) {
            if (argument.starts_with("DIR")) {
                argument = (home.Path() / "out").string() + argument.substr(3);
            }
        }
        arguments.push_back(Server().Url("/p/0.html"));
        const MeasuredRun run = RunMeasured(arguments);
        if (g_pageRequests < kPages) {
            state.SkipWithError(("fetched " + std::to_string(g_pageRequests.load()) + " pages of " +
                                 std::to_string(kPages))
                                    .c_str());
            break;
        }
        state.SetIterationTime(run.seconds);
        state.counters["pages/s"] = kPages / run.seconds;
        state.counters["movies/s"] = (kPages / 10.0) / run.seconds;
        state.counters["peak MB"] = run.peakMegabytes;
    }
}

std::vector<std::string> Crawl(const std::string& engine, bool archived = false) {
    std::vector<std::string> command = {HVX_SWFHARVEX_BINARY,
                                        "crawl",
                                        "--engine",
                                        engine,
                                        "--delay",
                                        "0",
                                        "--ignore-robots",
                                        "--depth",
                                        "20",
                                        "--max-pages",
                                        "5000",
                                        "--read-depth",
                                        "0",
                                        "--play",
                                        "0",
                                        "--state",
                                        "DIR"};
    if (archived) {
        command.insert(command.end(), {"--warc", "DIR/crawl.warc.gz"});
    }
    return command;
}

void BM_CrawlStatic(benchmark::State& state) {
    Run(state, Crawl("static"));
}

void BM_CrawlChromium(benchmark::State& state) {
    Run(state, Crawl("chromium"));
}

void BM_WgetRecursive(benchmark::State& state) {
    Run(state, {"wget", "--quiet", "--recursive", "--level=20", "-e", "robots=off",
                "--directory-prefix", "DIR"});
}

// The same, each writing a WARC file of what it fetched.
void BM_CrawlStaticWarc(benchmark::State& state) {
    Run(state, Crawl("static", true));
}

void BM_CrawlChromiumWarc(benchmark::State& state) {
    Run(state, Crawl("chromium", true));
}

void BM_WgetRecursiveWarc(benchmark::State& state) {
    Run(state, {"wget", "--quiet", "--recursive", "--level=20", "-e", "robots=off",
                "--directory-prefix", "DIR", "--warc-file", "DIR-crawl"});
}

long CommandsProcessed(const RedisServer& server) {
    Outcome<std::unique_ptr<RedisClient>> client =
        RedisClient::Connect(server.address(), std::chrono::seconds(10));
    Outcome<RedisReply> info =
        client ? client.value()->Command({"INFO", "stats"}) : Outcome<RedisReply>(client.failure());
    const std::string text = info ? info.value().text : "";
    const size_t at = text.find("total_commands_processed:");
    return at == std::string::npos ? 0 : std::stol(text.substr(at + 25));
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The static engine's crawl shared by N workers over a Redis server on this machine (each worker
// a process with its own home): pages per second and per CPU-second (the workers and what they
// ran), and the Redis commands a page cost.
void BM_CrawlSharedWorkers(benchmark::State& state) {
    static RedisServer redis;
    if (!redis.running()) {
        state.SkipWithError("redis-server is not installed");
        return;
    }
    const int workers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        g_pageRequests = 0;
        TempDir home;
        const std::string crawl = "bench-" + std::to_string(workers);
        const long commandsBefore = CommandsProcessed(redis);
        const double cpuBefore = ChildrenCpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        std::vector<pid_t> children;
        for (int worker = 0; worker < workers; ++worker) {
            const fs::path folder = home.Path() / std::to_string(worker);
            fs::create_directories(folder);
            std::vector<std::string> args = Crawl("static");
            args.back() = (folder / "state").string();
            args.insert(args.end(), {"--frontier", redis.address().Text(), "--crawl-id", crawl,
                                     "--worker-id", std::to_string(worker)});
            args.push_back(worker == 0 ? Server().Url("/p/0.html") : "--worker");
            const pid_t child = fork();
            if (child == 0) {
                setenv("HOME", folder.c_str(), 1);
                std::vector<char*> argv;
                for (std::string& arg : args) {
                    argv.push_back(arg.data());
                }
                argv.push_back(nullptr);
                if (freopen("/dev/null", "w", stdout) != nullptr &&
                    freopen("/dev/null", "w", stderr) != nullptr) {
                    execv(argv[0], argv.data());
                }
                _exit(127);
            }
            children.push_back(child);
        }
        for (const pid_t child : children) {
            waitpid(child, nullptr, 0);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (g_pageRequests < kPages) {
            state.SkipWithError(("fetched " + std::to_string(g_pageRequests.load()) + " pages of " +
                                 std::to_string(kPages))
                                    .c_str());
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["pages/s"] = kPages / seconds;
        state.counters["pages/CPU-s"] = kPages / (ChildrenCpuSeconds() - cpuBefore);
        state.counters["Redis cmds/page"] =
            static_cast<double>(CommandsProcessed(redis) - commandsBefore) / kPages;
    }
}

} // namespace

BENCHMARK(BM_CrawlStatic)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlChromium)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WgetRecursive)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlStaticWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlChromiumWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WgetRecursiveWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlSharedWorkers)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
