// A generated site of 2,000 pages (page i links to pages 2i+1 and 2i+2; every tenth embeds a
// movie of 10 kB): `swfharvex crawl` with each engine (no delay, robots.txt not read, the movies'
// own loads not followed), against `wget --recursive` on the same site (static markup only). Each
// reports pages and movies per second; every run must fetch every page. Then each again, writing
// a WARC file of what it fetched.
#include <atomic>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "LoopbackServer.h"
#include "TempDir.h"
#include "WholeProcess.h"

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

} // namespace

BENCHMARK(BM_CrawlStatic)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlChromium)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WgetRecursive)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlStaticWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CrawlChromiumWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WgetRecursiveWarc)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
